#include "pdf/content_stream.h"

#include "pdf/pdf_syntax.h"

namespace folivane {

void GlyphString::AddCode(const char* bytes, std::size_t count) { AppendLiteralBytes(bytes_, bytes, count); }

void GlyphString::AddMove(double thousandths) {
  bytes_ += ')';
  AppendReal(bytes_, thousandths);
  bytes_ += '(';
  moved_ = true;
}

ContentStream::ContentStream(Start start) {
  if (start == Start::kPage) state_.scale = 100;
}

bool ContentStream::Allowed(bool allowed) {
  if (!allowed) sound_ = false;
  return allowed;
}

void ContentStream::Operator(std::string_view name, Then then) {
  bytes_ += name;
  bytes_ += then == kNewLine ? '\n' : ' ';
}

void ContentStream::Number(double value) {
  AppendReal(bytes_, value);
  bytes_ += ' ';
}

void ContentStream::Integer(long long value) {
  AppendInt(bytes_, value);
  bytes_ += ' ';
}

void ContentStream::Save(Then then) {
  if (!Allowed(!inText_)) return;
  saved_.push_back(state_);
  Operator("q", then);
}

void ContentStream::Restore(Then then) {
  if (!Allowed(!inText_ && !saved_.empty())) return;
  state_ = saved_.back();
  saved_.pop_back();
  Operator("Q", then);
}

void ContentStream::Transform(double a, double b, double c, double d, double e, double f, Then then) {
  if (!Allowed(!inText_)) return;
  for (double value : {a, b, c, d, e, f}) Number(value);
  Operator("cm", then);
}

void ContentStream::SetFillColour(QRgb colour) {
  for (int component : {qRed(colour), qGreen(colour), qBlue(colour)}) Number(component / 255.0);
  Operator("rg", kNewLine);
  state_.fill = colour & 0xFFFFFF;
}

void ContentStream::MoveTo(double x, double y) {
  if (!Allowed(!inText_)) return;
  Number(x);
  Number(y);
  Operator("m", kNewLine);
}

void ContentStream::LineTo(double x, double y) {
  if (!Allowed(!inText_)) return;
  Number(x);
  Number(y);
  Operator("l", kNewLine);
}

void ContentStream::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
  if (!Allowed(!inText_)) return;
  for (double value : {x1, y1, x2, y2, x3, y3}) Number(value);
  Operator("c", kNewLine);
}

void ContentStream::Rectangle(long long x, long long y, long long width, long long height, Then then) {
  if (!Allowed(!inText_)) return;
  for (long long value : {x, y, width, height}) Integer(value);
  Operator("re", then);
}

void ContentStream::Fill(Then then) {
  if (!Allowed(!inText_ && state_.fill != kUnknownFill)) return;
  Operator("f", then);
}

void ContentStream::FillEvenOdd() {
  if (!Allowed(!inText_ && state_.fill != kUnknownFill)) return;
  Operator("f*", kNewLine);
}

void ContentStream::Clip(Then then) {
  if (!Allowed(!inText_)) return;
  Operator("W", then);
}

void ContentStream::EndPath() {
  if (!Allowed(!inText_)) return;
  Operator("n", kNewLine);
}

void ContentStream::Draw(std::string_view name, Then then) {
  if (!Allowed(!inText_ && name.size() > 1 && name[0] == '/')) return;
  bytes_ += name;
  bytes_ += ' ';
  Operator("Do", then);
}

void ContentStream::BeginText() {
  if (!Allowed(!inText_)) return;
  Operator("BT", kNewLine);
  inText_ = true;
  fontChosen_ = false;
}

void ContentStream::EndText() {
  if (!Allowed(inText_)) return;
  Operator("ET", kNewLine);
  inText_ = false;
}

void ContentStream::SetTextMatrix(double a, double b, double c, double d, double e, double f) {
  if (!Allowed(inText_)) return;
  for (double value : {a, b, c, d, e, f}) Number(value);
  Operator("Tm", kNewLine);
}

void ContentStream::SetFont(std::string_view name, double size) {
  if (!Allowed(name.size() > 1 && name[0] == '/')) return;
  bytes_ += name;
  bytes_ += ' ';
  Number(size);
  Operator("Tf", kNewLine);
  fontChosen_ = fontChosen_ || inText_;
}

void ContentStream::SetHorizontalScale(double percent) {
  AppendFineReal(bytes_, percent);
  bytes_ += ' ';
  Operator("Tz", kNewLine);
  state_.scale = percent;
}

std::pair<double, double> ContentStream::MoveText(double dx, double dy, Then then) {
  if (!Allowed(inText_)) return {0, 0};
  const std::pair<double, double> written(AsWritten(dx), AsWritten(dy));
  Number(written.first);
  Number(written.second);
  Operator("Td", then);
  return written;
}

void ContentStream::ShowText(const GlyphString& text) {
  if (!Allowed(inText_ && fontChosen_ && state_.fill != kUnknownFill)) return;
  if (text.moved_) {
    bytes_ += "[(";
    bytes_ += text.bytes_;
    bytes_ += ")] TJ\n";
  } else {
    bytes_ += '(';
    bytes_ += text.bytes_;
    bytes_ += ") Tj\n";
  }
}

void ContentStream::Append(const ContentStream& other) {
  if (!Allowed(!inText_ && other.Sound())) return;
  bytes_ += other.bytes_;
  state_ = other.state_;
}

}  // namespace folivane
