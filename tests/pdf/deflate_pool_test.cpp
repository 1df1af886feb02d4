#include "pdf/deflate_pool.h"

#include <QByteArray>
#include <QtEndian>
#include <gtest/gtest.h>

#include <deque>
#include <system_error>

namespace folivane {
namespace {

// Under a task limit: a thread start fails after `threadsLeft` have started.
int threadsLeft = 0;
std::thread StartWhileThreadsLeft(std::function<void()> work) {
  if (threadsLeft-- <= 0) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  return std::thread(std::move(work));
}

TEST(DeflatePoolTest, StreamsComeBackByTicketAndInflateToWhatWentIn) {
  const struct {
    int workers;
    int threadsLeft;  // -1: no limit
    int started;
  } cases[] = {{0, -1, 0}, {3, -1, 3}, {3, 1, 1}, {3, 0, 0}};
  for (const auto& c : cases) {
    const int workers = c.workers;
    threadsLeft = c.threadsLeft;
    DeflatePool pool(workers, c.threadsLeft < 0 ? &DeflatePool::StartThread : &StartWhileThreadsLeft);
    EXPECT_EQ(pool.Workers(), c.started);
    std::vector<std::string> pages;
    for (int i = 0; i < 40; ++i)
      pages.push_back(std::string(1000 + i * 997, static_cast<char>('a' + i % 26)) + std::to_string(i));
    std::deque<DeflatePool::Ticket> inFlight;
    std::size_t taken = 0;
    for (const std::string& page : pages) {
      inFlight.push_back(pool.Submit(page));
      while (inFlight.size() > 5) {
        const std::string deflated = pool.Take(inFlight.front());
        inFlight.pop_front();
        // qUncompress wants the inflated size in front, big-endian.
        QByteArray framed(4, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(pages[taken].size()), framed.data());
        framed.append(deflated.data(), static_cast<qsizetype>(deflated.size()));
        EXPECT_EQ(qUncompress(framed).toStdString(), pages[taken]) << workers << " " << taken;
        ++taken;
      }
    }
    // Taken in any order: the newest first.
    for (; !inFlight.empty(); inFlight.pop_back()) {
      EXPECT_FALSE(pool.Take(inFlight.back()).empty());
      ++taken;
    }
    EXPECT_EQ(taken, pages.size());
  }
}

TEST(DeflatePoolTest, AStreamAloneIsDeflatedWhenTaken) {
  // Workers are woken for streams in pairs: one alone must not wait for a second that never comes.
  DeflatePool pool(2);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(pool.Take(pool.Submit(std::string(100, 'x'))).empty()) << i;
}

}  // namespace
}  // namespace folivane
