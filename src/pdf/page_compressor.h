// Deflates page content streams on worker threads and hands them back in page order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct libdeflate_compressor;

namespace folivane {

// Deflates into zlib streams (FlateDecode) with libdeflate at two levels and keeps the smaller
// stream. Measured on the page streams of the benchmark corpora: level 6 is the better on most
// listings (5 % smaller than level 4 on C headers); on text that repeats with small changes, such
// as a long generated line, the greedy matching of level 4 wins by 6 % and level 6 even loses
// to zlib's own level 6. Trying both costs 1.8 times level 6 alone, far less than level 10,
// which would save 2 % more at 9 times the time.
class Deflater {
 public:
  // `tryGreedy` false keeps to level 6: for a picture after the Paeth filter, level 4 never wins.
  explicit Deflater(bool tryGreedy = true);  // throws std::bad_alloc
  std::string operator()(const std::string& data);

 private:
  struct CompressorDeleter {
    void operator()(::libdeflate_compressor* compressor) const;
  };
  std::unique_ptr<::libdeflate_compressor, CompressorDeleter> thorough_;
  std::unique_ptr<::libdeflate_compressor, CompressorDeleter> greedy_;
};

// Pages go in as they are finished and come out compressed in the same order. The caller keeps
// the window bounded: it takes the oldest page back once InFlight() reaches its limit, so memory
// holds a few pages, never the document.
class PageCompressor {
 public:
  // Up to `workers` threads; with 0, or when no thread can be started, pages are deflated on the
  // caller's thread inside Submit. `startThread` starts one worker (a test makes it fail).
  using ThreadStarter = std::thread (*)(std::function<void()> work);
  explicit PageCompressor(int workers, ThreadStarter startThread = &StartThread);
  ~PageCompressor();
  PageCompressor(const PageCompressor&) = delete;
  PageCompressor& operator=(const PageCompressor&) = delete;

  void Submit(std::string content);
  // Waits for the oldest submitted page and returns its deflated stream; InFlight() must be > 0.
  // What a worker failed with (out of memory) is thrown here, on the caller's thread.
  std::string TakeOldest();
  std::size_t InFlight() const { return pages_.size(); }
  int Workers() const { return static_cast<int>(workers_.size()); }

  static std::thread StartThread(std::function<void()> work) { return std::thread(std::move(work)); }

 private:
  struct Page {
    std::string content;
    std::string deflated;
    std::exception_ptr failure;
    bool done = false;
  };

  void Work();

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable pageDone_;
  std::deque<std::shared_ptr<Page>> pages_;    // in page order; the caller's thread alone
  std::deque<std::shared_ptr<Page>> waiting_;  // not yet taken by a worker; under mutex_
  bool stopping_ = false;
  std::vector<std::thread> workers_;
  std::optional<Deflater> ownDeflater_;  // without workers
};

}  // namespace folivane
