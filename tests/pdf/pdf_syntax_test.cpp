#include "pdf/pdf_syntax.h"

#include <gtest/gtest.h>

namespace folivane {
namespace {

TEST(PdfSyntaxTest, NumbersAreWrittenAsReadersReadThem) {
  const struct {
    double value;
    const char* real;  // at most four decimals
    const char* fine;  // at most eight
  } cases[] = {
      {0, "0", "0"},
      {-0.0, "0", "-0"},
      {-78, "-78", "-78"},
      {4760, "4760", "4760"},
      {1e10, "10000000000", "10000000000"},
      {-0.5, "-0.5", "-0.5"},
      {0.00004, "0", "0.00004"},
      {12.345678, "12.3457", "12.345678"},
      {-1234.56785, "-1234.5679", "-1234.56785"},
      {99.927080241, "99.9271", "99.92708024"},
      {0.000000004, "0", "0"},
  };
  for (const auto& c : cases) {
    std::string real;
    std::string fine;
    AppendReal(real, c.value);
    AppendFineReal(fine, c.value);
    EXPECT_EQ(real, c.real) << c.value;
    EXPECT_EQ(fine, c.fine) << c.value;
    EXPECT_EQ(AsWritten(c.value), std::stod(real)) << c.value;
  }
}

}  // namespace
}  // namespace folivane
