#include "pdf/page_compressor.h"

#include <libdeflate.h>

#include <new>
#include <optional>
#include <system_error>

namespace folivane {

namespace {

// libdeflate's levels 6 and 4; see Deflater.
constexpr int kThoroughLevel = 6;
constexpr int kGreedyLevel = 4;

}  // namespace

void Deflater::CompressorDeleter::operator()(libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

Deflater::Deflater(bool tryGreedy) : thorough_(libdeflate_alloc_compressor(kThoroughLevel)) {
  if (tryGreedy) greedy_.reset(libdeflate_alloc_compressor(kGreedyLevel));
  if (!thorough_ || (tryGreedy && !greedy_)) throw std::bad_alloc();
}

std::string Deflater::operator()(const std::string& data) {
  std::string out(libdeflate_zlib_compress_bound(thorough_.get(), data.size()), '\0');
  out.resize(libdeflate_zlib_compress(thorough_.get(), data.data(), data.size(), out.data(), out.size()));
  if (!greedy_ || out.size() < 2) return out;
  // A greedy stream counts only when it is smaller, so it may stop one byte short of that.
  std::string greedy(out.size() - 1, '\0');
  const std::size_t size =
      libdeflate_zlib_compress(greedy_.get(), data.data(), data.size(), greedy.data(), greedy.size());
  if (size == 0) return out;
  greedy.resize(size);
  return greedy;
}

PageCompressor::PageCompressor(int workers, ThreadStarter startThread) {
  // Fewer threads means slower, never stuck: a worker that cannot start (a task limit, no memory
  // for its stack) is done without, and with none the caller deflates.
  for (int i = 0; i < workers; ++i) {
    try {
      workers_.push_back(startThread([this] { Work(); }));
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
}

PageCompressor::~PageCompressor() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void PageCompressor::Submit(std::string content) {
  auto page = std::make_shared<Page>();
  page->content = std::move(content);
  pages_.push_back(page);
  if (workers_.empty()) {
    if (!ownDeflater_) ownDeflater_.emplace();
    page->deflated = (*ownDeflater_)(page->content);
    page->content = std::string();
    page->done = true;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(std::move(page));
  }
  workReady_.notify_one();
}

std::string PageCompressor::TakeOldest() {
  std::shared_ptr<Page> page = std::move(pages_.front());
  pages_.pop_front();
  std::unique_lock lock(mutex_);
  pageDone_.wait(lock, [&] { return page->done; });
  if (page->failure) std::rethrow_exception(page->failure);
  return std::move(page->deflated);
}

void PageCompressor::Work() {
  // Nothing may leave a thread's function: what fails is handed to the caller with the page.
  std::optional<Deflater> deflater;
  std::exception_ptr noDeflater;
  try {
    deflater.emplace();
  } catch (...) {
    noDeflater = std::current_exception();
  }
  for (;;) {
    std::shared_ptr<Page> page;
    {
      std::unique_lock lock(mutex_);
      workReady_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      page = std::move(waiting_.front());
      waiting_.pop_front();
    }
    std::string deflated;
    std::exception_ptr failure = noDeflater;
    if (deflater) {
      try {
        deflated = (*deflater)(page->content);
      } catch (...) {
        failure = std::current_exception();
      }
    }
    {
      std::lock_guard lock(mutex_);
      page->deflated = std::move(deflated);
      page->failure = failure;
      page->content = std::string();
      page->done = true;
    }
    pageDone_.notify_all();
  }
}

}  // namespace folivane
