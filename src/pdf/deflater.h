// Deflating a stream into the zlib form PDF's FlateDecode reads.
#pragma once

#include <memory>
#include <string>

struct libdeflate_compressor;

namespace folivane {

// Deflates with libdeflate at two levels and keeps the smaller stream. Measured on the page
// streams of the benchmark corpora: level 6 is the better on most listings (5 % smaller than
// level 4 on C headers); on text that repeats with small changes, such as a long generated line,
// the greedy matching of level 4 wins by 6 % and level 6 even loses to zlib's own level 6.
// Trying both costs 1.8 times level 6 alone, far less than level 10, which would save 2 % more
// at 9 times the time.
class Deflater {
 public:
  // A picture after the Paeth filter never deflates smaller at level 4: it is worth one try only.
  // The smallest (level 12, ten times slower) is for what is deflated once, before any run.
  enum class Effort { kBothLevels, kThoroughOnly, kSmallest };

  Deflater();  // throws std::bad_alloc
  // Throws std::bad_alloc when the second level's tables cannot be had. `greedyWon`, when
  // given, tells whether the greedy level gave the stream.
  std::string Deflate(const std::string& data, Effort effort = Effort::kBothLevels, bool* greedyWon = nullptr);

 private:
  struct CompressorDeleter {
    void operator()(::libdeflate_compressor* compressor) const;
  };
  std::unique_ptr<::libdeflate_compressor, CompressorDeleter> thorough_;
  std::unique_ptr<::libdeflate_compressor, CompressorDeleter> greedy_;  // made on first use
};

}  // namespace folivane
