// PDF's own spelling of numbers and strings, as dictionaries and content streams want them.
#pragma once

#include <QString>
#include <charconv>
#include <string>

namespace folivane {

inline void AppendInt(std::string& out, long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// An indirect reference to an object of generation 0: "12 0 R".
std::string Reference(int number);

// A real with at most four decimals and no trailing zeros ("12.5", "0.12", "-3").
void AppendReal(std::string& out, double value);

// The value AppendReal writes, as a reader reads it back: positions added up from written moves
// then drift no further than the moves themselves.
double AsWritten(double value);

// A real with up to eight decimals and no trailing zeros, for a factor that must be near exact (a
// horizontal scale that makes a face's advances whole thousandths of its em is not a round number).
void AppendFineReal(std::string& out, double value);

// A PDF string literal of printable ASCII text, or a UTF-16BE hex string with byte-order mark otherwise.
std::string TextString(const QString& text);

// Bytes inside a literal string "( )": the bytes a literal string treats specially are escaped (a
// bare CR would be read as LF).
void AppendLiteralBytes(std::string& out, const char* bytes, std::size_t count);

}  // namespace folivane
