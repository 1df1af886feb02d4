// A content stream written one call per operator, each call checked against the stream's state.
#pragma once

#include <QRgb>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace folivane {

// The glyph codes of one text-showing operator, with moves between them: shown with Tj, or
// with TJ once it holds a move.
class GlyphString {
 public:
  void AddCode(const char* bytes, std::size_t count);
  // Moves the pen back by `thousandths` of the text space unit (forward when negative) before
  // the next code.
  void AddMove(double thousandths);
  bool Empty() const { return bytes_.empty() && !moved_; }
  // Empties the string and keeps its room for the next.
  void Clear() {
    bytes_.clear();
    moved_ = false;
  }

 private:
  friend class ContentStream;
  std::string bytes_;  // escaped codes, moves as ")n("
  bool moved_ = false;
};

// The page description operators this writer uses, each written by its own call. A call checks
// that its operator may stand where it is put: text showing and positioning inside a text object
// and after a font was chosen, paths, images and the graphics state outside one, painting only
// once a fill colour was set. A call that may not is left out and the stream is marked unsound,
// which the document reports as a failure: a slip never becomes a page that shows wrong in
// some viewer.
//
// Operators that belong together share a line ("q ... cm /Im1 Do Q"), so each call says what
// follows it; the bytes of a page do not change with the way it is written.
class ContentStream {
 public:
  enum Then { kNewLine, kSpace };
  // What is known at the start: a page starts unscaled (Tz 100); a form's content may be drawn
  // after anything.
  enum class Start { kPage, kForm };

  explicit ContentStream(Start start = Start::kPage);

  // Graphics state.
  void Save(Then then = kNewLine);                                                                   // q
  void Restore(Then then = kNewLine);                                                                // Q
  void Transform(double a, double b, double c, double d, double e, double f, Then then = kNewLine);  // cm
  void SetFillColour(QRgb colour);                                                                   // rg
  // Paths.
  void MoveTo(double x, double y);                                                                    // m
  void LineTo(double x, double y);                                                                    // l
  void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);                     // c
  void Rectangle(long long x, long long y, long long width, long long height, Then then = kNewLine);  // re
  void Fill(Then then = kNewLine);                                                                    // f
  void FillEvenOdd();                                                                                 // f*
  void Clip(Then then = kNewLine);                                                                    // W
  void EndPath();                                                                                     // n
  // An image or a form by its name in the resources.
  void Draw(std::string_view name, Then then = kNewLine);  // Do
  // Text.
  void BeginText();                                                                // BT
  void EndText();                                                                  // ET
  void SetTextMatrix(double a, double b, double c, double d, double e, double f);  // Tm
  void SetFont(std::string_view name, double size);                                // Tf
  void SetHorizontalScale(double percent);                                         // Tz
  // Moves to the start of the next text line by (dx, dy) and returns the move as a reader reads
  // it, so that positions added up from moves do not drift.
  std::pair<double, double> MoveText(double dx, double dy, Then then = kSpace);  // Td
  void ShowText(const GlyphString& text);                                        // Tj or TJ

  // Another stream's operators, drawn here as they stand; that stream started from nothing known
  // (a form's), so what it leaves is what is known afterwards.
  void Append(const ContentStream& other);

  bool InText() const { return inText_; }
  // Whether the fill colour or the horizontal scale in force is known to be this one.
  bool FillIs(QRgb colour) const { return state_.fill == static_cast<long long>(colour & 0xFFFFFF); }
  bool ScaleIs(double percent) const { return state_.scale == percent; }
  // False once a call was left out because its operator could not stand there, or when a saved
  // state or a text object is left open.
  bool Sound() const { return sound_ && saved_.empty() && !inText_; }
  const std::string& Bytes() const { return bytes_; }
  // The stream's bytes; the stream is empty afterwards.
  std::string Take() { return std::move(bytes_); }
  void Reserve(std::size_t bytes) { bytes_.reserve(bytes); }

 private:
  // Plain values with an "unknown" of their own: what is compared is always initialised.
  static constexpr long long kUnknownFill = -1;
  static constexpr double kUnknownScale = -1;
  struct State {
    long long fill = kUnknownFill;
    double scale = kUnknownScale;
  };
  bool Allowed(bool allowed);
  void Operator(std::string_view name, Then then);
  void Number(double value);
  void Integer(long long value);

  std::string bytes_;
  State state_;
  std::vector<State> saved_;
  bool inText_ = false;
  bool fontChosen_ = false;
  bool sound_ = true;
};

}  // namespace folivane
