#include "surface/page_compressor.h"

#include <libdeflate.h>

#include <new>

namespace folivane {

namespace {

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

std::string DeflateWith(libdeflate_compressor* compressor, const std::string& data) {
  std::string out(libdeflate_zlib_compress_bound(compressor, data.size()), '\0');
  const std::size_t size =
      libdeflate_zlib_compress(compressor, data.data(), data.size(), out.data(), out.size());
  out.resize(size);
  return out;
}

}  // namespace

std::string Deflate(const std::string& data, int level) {
  Compressor compressor(libdeflate_alloc_compressor(level));
  if (!compressor) throw std::bad_alloc();
  return DeflateWith(compressor.get(), data);
}

PageCompressor::PageCompressor(int workers, int level) : level_(level) {
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
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
    page->deflated = Deflate(page->content, level_);
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
  // A worker without memory for its compressor leaves the page as it was.
  if (page->deflated.empty()) throw std::bad_alloc();
  return std::move(page->deflated);
}

void PageCompressor::Work() {
  Compressor compressor(libdeflate_alloc_compressor(level_));
  for (;;) {
    std::shared_ptr<Page> page;
    {
      std::unique_lock lock(mutex_);
      workReady_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      page = std::move(waiting_.front());
      waiting_.pop_front();
    }
    std::string deflated = compressor ? DeflateWith(compressor.get(), page->content) : std::string();
    {
      std::lock_guard lock(mutex_);
      page->deflated = std::move(deflated);
      page->content = std::string();
      page->done = true;
    }
    pageDone_.notify_all();
  }
}

}  // namespace folivane
