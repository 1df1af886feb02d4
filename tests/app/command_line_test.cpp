#include <gtest/gtest.h>

#include "app/command_line_windows.h"

namespace folivane {
namespace {

struct SplitCase {
  const char16_t* commandLine;
  QStringList parameters;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, GivesParametersWithoutProgramName) {
  EXPECT_EQ(SplitCommandLine(QString::fromUtf16(GetParam().commandLine)), GetParam().parameters);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitCommandLineTest,
    ::testing::Values(
        SplitCase{u"", {}},
        SplitCase{u"tool", {}},
        SplitCase{u"tool   ", {}},
        SplitCase{u"\"C:\\Program Files\\tool.exe\"", {}},
        SplitCase{u"tool a b  c", {"a", "b", "c"}},
        // Quotes group blanks inside a token and are removed.
        SplitCase{u"tool a\"b c\"d", {"ab cd"}},
        // After a closing quote the next character starts a new token at once.
        SplitCase{u"tool \"a\"b", {"a", "b"}},
        // A backslash escapes nothing, also before a quote.
        SplitCase{u"tool \"C:\\dir\\\" x", {"C:\\dir\\", "x"}},
        // Empty quoted pairs and a lone quote at the end are empty parameters.
        SplitCase{u"tool \"\"", {""}},
        SplitCase{u"tool \"\" \"\" x", {"", "", "x"}},
        SplitCase{u"tool a \"", {"a", ""}},
        // An unclosed quote runs to the end of the line, blanks included.
        SplitCase{u"tool a \"b c  ", {"a", "b c  "}},
        SplitCase{u"tool a\"b c  ", {"ab c  "}},
        // Only the blank separates: a tab is ordinary text.
        SplitCase{u"tool a\tb", {"a\tb"}},
        SplitCase{u"tool \"/tmp/copy 1.pb\" \"/src/My Tool.pb\" 12x1x20x5",
                  {"/tmp/copy 1.pb", "/src/My Tool.pb", "12x1x20x5"}}));

}  // namespace
}  // namespace folivane
