#include "pdf/deflater.h"

#include <libdeflate.h>

#include <new>

namespace folivane {

namespace {

constexpr int kThoroughLevel = 6;
constexpr int kGreedyLevel = 4;

}  // namespace

void Deflater::CompressorDeleter::operator()(libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

Deflater::Deflater() : thorough_(libdeflate_alloc_compressor(kThoroughLevel)) {
  if (!thorough_) throw std::bad_alloc();
}

std::string Deflater::Deflate(const std::string& data, Effort effort, bool* greedyWon) {
  if (greedyWon) *greedyWon = false;
  if (effort == Effort::kSmallest) {
    const std::unique_ptr<libdeflate_compressor, CompressorDeleter> smallest(libdeflate_alloc_compressor(12));
    if (!smallest) throw std::bad_alloc();
    std::string out(libdeflate_zlib_compress_bound(smallest.get(), data.size()), '\0');
    out.resize(libdeflate_zlib_compress(smallest.get(), data.data(), data.size(), out.data(), out.size()));
    return out;
  }
  std::string out(libdeflate_zlib_compress_bound(thorough_.get(), data.size()), '\0');
  out.resize(libdeflate_zlib_compress(thorough_.get(), data.data(), data.size(), out.data(), out.size()));
  if (effort == Effort::kThoroughOnly || out.size() < 2) return out;
  if (!greedy_) {
    greedy_.reset(libdeflate_alloc_compressor(kGreedyLevel));
    if (!greedy_) throw std::bad_alloc();
  }
  // A greedy stream counts only when it is smaller, so it may stop one byte short of that.
  std::string greedy(out.size() - 1, '\0');
  const std::size_t size =
      libdeflate_zlib_compress(greedy_.get(), data.data(), data.size(), greedy.data(), greedy.size());
  if (size == 0) return out;
  greedy.resize(size);
  if (greedyWon) *greedyWon = true;
  return greedy;
}

}  // namespace folivane
