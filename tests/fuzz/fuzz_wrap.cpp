// Fuzz target for wrapping: the rows of WrapLine, which sums additive advances, must be the rows of
// WrapLineLiteral, which measures every candidate text whole, on a measurer that shapes like a font.
#include <QChar>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "layout/print_list.h"
#include "support/literal_wrap.h"
#include "surface_stub.h"

namespace {

enum class UnitClass { Plain, Mark, Cjk, Surrogate };

UnitClass ClassOf(char16_t unit) {
  if (QChar::isSurrogate(unit)) return UnitClass::Surrogate;
  if (unit >= 0x0300 && unit <= 0x036F) return UnitClass::Mark;
  if (unit >= 0x4E00 && unit <= 0x9FFF) return UnitClass::Cjk;
  return UnitClass::Plain;
}

// Plain units keep the promise of AdditiveAdvance: a text made only of them is the sum of their
// advances, which may be 0. Everything else shapes: a mark joins and may narrow its base,
// neighbouring CJK characters kern, a plain unit right after a mark or a CJK character is pulled
// in, a surrogate pair is one glyph and a lone surrogate a box. So widths of growing texts are
// neither sums nor always growing.
class ShapingSurface final : public folivane::SurfaceStub {
 public:
  explicit ShapingSurface(const std::array<std::uint8_t, 8>& widths) : widths_(widths) {}

  int MeasureText(const QString& text) override {
    UnitClass previous = UnitClass::Plain;
    bool atStart = true;
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
      const char16_t unit = text[i].unicode();
      const UnitClass kind = ClassOf(unit);
      if (kind == UnitClass::Surrogate) {
        const bool pair = QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode());
        width += pair ? widths_[4] : widths_[5];
        if (pair) ++i;
      } else if (kind == UnitClass::Mark) {
        if (atStart || previous == UnitClass::Mark) width += widths_[2];
        else if (previous == UnitClass::Cjk) width -= widths_[6] % 8;
      } else if (kind == UnitClass::Cjk) {
        width += previous == UnitClass::Cjk && !atStart ? widths_[3] - widths_[6] % 4 : widths_[3];
      } else {
        width += PlainAdvance(unit);
        if (!atStart && (previous == UnitClass::Mark || previous == UnitClass::Cjk)) width -= widths_[7] % 3;
      }
      previous = kind;
      atStart = false;
    }
    return width;
  }
  int AdditiveAdvance(char16_t unit) override {
    return ClassOf(unit) == UnitClass::Plain ? PlainAdvance(unit) : -1;
  }

 private:
  int PlainAdvance(char16_t unit) const { return unit % 3 == 0 ? widths_[0] : widths_[1] + unit % 5; }
  std::array<std::uint8_t, 8> widths_;
};

// Maps a byte to a unit of an interesting kind, so that every kind turns up often.
char16_t UnitOf(std::uint8_t byte, std::uint8_t next) {
  switch (byte >> 5) {
    case 0: return char16_t(0x0300 + (next & 0x6F));       // combining mark
    case 1: return char16_t(0x4E00 + next);                // CJK
    case 2: return char16_t(0xD800 + (next & 0x07));       // high surrogate
    case 3: return char16_t(0xDC00 + (next & 0x07));       // low surrogate
    case 4: return char16_t(next ? next : u'\t');          // Latin-1, tabs
    default: return char16_t(0x20 + (byte & 0x1F) + (next & 0x3F));  // ASCII
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return 0;
  std::array<std::uint8_t, 8> widths{};
  for (std::size_t k = 0; k < widths.size(); ++k) widths[k] = data[k] % 41;
  const int wrapLimit = static_cast<int>(data[8]) * 4 - 20;
  QString line;
  for (std::size_t i = 9; i + 1 < size; i += 2) line.append(QChar(UnitOf(data[i], data[i + 1])));

  ShapingSurface surface(widths);
  const QString label = QStringLiteral("17");
  folivane::PrintList summed;
  folivane::PrintList literal;
  folivane::WrapLine(surface, line, wrapLimit, label, summed);
  folivane::WrapLineLiteral(surface, line, wrapLimit, label, literal);
  if (summed.size() != literal.size()) std::abort();
  QString joined;
  for (qsizetype k = 0; k < summed.size(); ++k) {
    if (summed[k].text != literal[k].text || summed[k].label != label || literal[k].label != label) std::abort();
    // A row never ends between the two halves of a surrogate pair.
    const QString& text = summed[k].text;
    if (k + 1 < summed.size() && !text.isEmpty() && text.back().isHighSurrogate() &&
        !summed[k + 1].text.isEmpty() && summed[k + 1].text.front().isLowSurrogate()) {
      std::abort();
    }
    joined += text;
  }
  if (summed.isEmpty() || joined != line) std::abort();
  return 0;
}
