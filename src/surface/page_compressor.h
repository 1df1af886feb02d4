// Deflates page content streams on worker threads and hands them back in page order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace folivane {

// Deflates `data` into a zlib stream (FlateDecode) at `level`.
std::string Deflate(const std::string& data, int level);

// Pages go in as they are finished and come out compressed in the same order. The caller keeps
// the window bounded: it takes the oldest page back once InFlight() reaches its limit, so memory
// holds a few pages, never the document.
class PageCompressor {
 public:
  // libdeflate at level 6, measured on the page streams of the C header corpus: 2.4 times as
  // fast as zlib at the same level (138 against 58 MB/s a core) for a stream 1.5 % smaller.
  // Level 4 is 1.6 times as fast again but gives 7 % more bytes; levels 9 and 12 save 2 to 4 %
  // of the file at 5 to 20 times the time.
  static constexpr int kLevel = 6;

  // `workers` threads; 0 deflates on the caller's thread inside Submit.
  explicit PageCompressor(int workers, int level = kLevel);
  ~PageCompressor();
  PageCompressor(const PageCompressor&) = delete;
  PageCompressor& operator=(const PageCompressor&) = delete;

  void Submit(std::string content);
  // Waits for the oldest submitted page and returns its deflated stream; InFlight() must be > 0.
  std::string TakeOldest();
  std::size_t InFlight() const { return pages_.size(); }

 private:
  struct Page {
    std::string content;
    std::string deflated;
    bool done = false;
  };

  void Work();

  const int level_;
  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable pageDone_;
  std::deque<std::shared_ptr<Page>> pages_;    // in page order; the caller's thread alone
  std::deque<std::shared_ptr<Page>> waiting_;  // not yet taken by a worker; under mutex_
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace folivane
