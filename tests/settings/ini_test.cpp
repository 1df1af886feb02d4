// INI engine: lookups by group and key, writing back a read document, format options.
#include "settings/ini.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace folivane {
namespace {

const QByteArray kBom = "\xEF\xBB\xBF";

class IniEngineTest : public ::testing::Test {
 protected:
  QString Write(const QByteArray& bytes) {
    QFile file(path_);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    return path_;
  }
  QByteArray Read() const {
    QFile file(path_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }

  QTemporaryDir dir_;
  QString path_ = dir_.filePath("test.ini");
};

TEST(IniLineScanner, SplitsKindsAndTrims) {
  const QByteArray text = "  ;  note \r\n\r\n[ Grp ] tail\n\tKey \t=\t value \r=v\rbare";
  struct Expected {
    IniEntryKind kind;
    const char* name;
    const char* value;
  };
  const Expected expected[] = {
      {IniEntryKind::Comment, " note ", ""}, {IniEntryKind::Group, " Grp ", ""},
      {IniEntryKind::Key, "Key", "value "},  {IniEntryKind::Key, "", "v"},
      {IniEntryKind::Key, "bare", ""},
  };
  IniLineScanner scanner(text);
  IniLine line;
  for (const Expected& e : expected) {
    ASSERT_TRUE(scanner.Next(line));
    EXPECT_EQ(line.kind, e.kind);
    EXPECT_EQ(line.name, QByteArrayView(e.name));
    EXPECT_EQ(line.value, QByteArrayView(e.value));
  }
  EXPECT_FALSE(scanner.Next(line));
}

TEST(IniLineScanner, FindsOnlyLinesStartingWithGivenBytes) {
  // Candidates inside lines, after blanks, at the very start and after CR-only line ends.
  const QByteArray text = "[a]\rx=[k\r  \tk=1 ;[\n;[c]\r\n\t [d\nK\rkk";
  const char* expected[] = {"a", "k", "d", "K", "kk"};
  IniLineScanner scanner(text);
  IniLine line;
  for (const char* name : expected) {
    ASSERT_TRUE(scanner.NextStartingWith("[kK", line));
    EXPECT_EQ(line.name, QByteArrayView(name));
  }
  EXPECT_FALSE(scanner.NextStartingWith("[kK", line));
  IniLineScanner fromMiddle(text, text.indexOf("\n;"));
  ASSERT_TRUE(fromMiddle.NextStartingWith(";", line));
  EXPECT_EQ(line.name, QByteArrayView("[c]"));
}

TEST(ParseIniInteger, SignsDigitsAndSaturation) {
  constexpr qint32 kMax = std::numeric_limits<qint32>::max();
  constexpr qint32 kMin = std::numeric_limits<qint32>::min();
  const std::pair<const char*, qint32> cases[] = {
      {"0", 0},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {" \t\v\f 42", 42},
      {"+7", 7},
      {"-5", -5},
      {"12abc", 12},
      {"0 ", 0},
      {"- 3", 0},
      {"2147483647", kMax},
      {"2147483648", kMax},
      {"-2147483648", kMin},
      {"-2147483649", kMin},
      {"99999999999999999999999999", kMax},
      {"-99999999999999999999999999", kMin},
      {"00000000000000000000000001", 1},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseIniInteger(text), expected) << text;
}

TEST(Latin1ToUtf8, HighBytesBecomeTwoBytes) {
  EXPECT_EQ(Latin1ToUtf8("caf\xE9 \x80\xFF."), QByteArray("caf\xC3\xA9 \xC2\x80\xC3\xBF."));
  EXPECT_EQ(Latin1ToUtf8("plain"), QByteArray("plain"));
}

TEST_F(IniEngineTest, EncodingAndAsciiOnlyCaseFolding) {
  IniEngine engine;
  // Without a byte order mark the bytes are ISO 8859-1; with it they are UTF-8.
  engine.OpenIni(Write("[Caf\xE9]\nK=7"));
  EXPECT_TRUE(engine.SelectGroup(QString::fromUtf8("caf\xC3\xA9")));
  EXPECT_EQ(engine.ReadInteger("k", 0), 7);
  EXPECT_FALSE(engine.SelectGroup(QString::fromUtf8("CAF\xC3\x89")));
  engine.OpenIni(Write("[\xE2\x82\xAC]\nK=6"));  // three ISO 8859-1 characters, not a euro sign
  EXPECT_FALSE(engine.SelectGroup(QString::fromUtf8("\xE2\x82\xAC")));
  EXPECT_TRUE(engine.SelectGroup(QString::fromLatin1("\xE2\x82\xAC")));
  EXPECT_EQ(engine.ReadInteger("K", 0), 6);
  engine.OpenIni(Write(kBom + "[Caf\xC3\xA9]\nK=8"));
  EXPECT_TRUE(engine.SelectGroup(QString::fromUtf8("Caf\xC3\xA9")));
  EXPECT_EQ(engine.ReadInteger("K", 0), 8);
  engine.CloseIni();
  EXPECT_EQ(Read(), kBom + "[Caf\xC3\xA9]\nK=8");  // reading never rewrites
}

TEST_F(IniEngineTest, GroupSelectionAndPendingGroup) {
  IniEngine engine;
  EXPECT_FALSE(engine.SelectGroup("A"));  // no document
  EXPECT_EQ(engine.ReadInteger("K", 9), 9);
  engine.OpenIni(Write("K=1\n[A]\nK=2\n[B]\nK=3\n"));
  EXPECT_EQ(engine.ReadInteger("K", 0), 1);  // keys before the first group
  EXPECT_TRUE(engine.SelectGroup("b"));
  EXPECT_EQ(engine.ReadInteger("K", 0), 3);
  EXPECT_FALSE(engine.SelectGroup("C"));
  EXPECT_EQ(engine.ReadInteger("K", 0), 0);  // pending group gives the default
  EXPECT_TRUE(engine.SelectGroup(""));
  EXPECT_EQ(engine.ReadInteger("K", 0), 1);
  EXPECT_TRUE(engine.SelectGroup("A"));
  EXPECT_EQ(engine.ReadInteger("K", 0), 2);
}

struct WriteBackCase {
  const char* name;
  QByteArray before;
  QString group;  // selected before writing; "-" selects nothing
  QByteArray after;
};

TEST_F(IniEngineTest, WriteIntegerInsertsWhereItBelongs) {
  const WriteBackCase cases[] = {
      {"replaces value and key spelling", "[S]\nfontsize = 9\n;c\n[T]\nX=1", "s",
       kBom + "\r\n[S]\r\nFontSize = 5\r\n; c\r\n[T]\r\nX = 1\r\n"},
      {"appends to the group after its comments", "[S]\nA=1\n; c\n[T]\nX=1\n", "S",
       kBom + "\r\n[S]\r\nA = 1\r\n; c\r\nFontSize = 5\r\n[T]\r\nX = 1\r\n"},
      {"appends to the last group", "[S]\nA=1\n[T]\nX=1\n", "T",
       kBom + "\r\n[S]\r\nA = 1\r\n[T]\r\nX = 1\r\nFontSize = 5\r\n"},
      {"pending group goes at the end", "; top\n[S]\nA=1\n", "New",
       kBom + "\r\n; top\r\n[S]\r\nA = 1\r\n[New]\r\nFontSize = 5\r\n"},
      {"no group: before the first group line", "A=1\n; c\n[S]\nA=2\n", "",
       kBom + "\r\nA = 1\r\n; c\r\nFontSize = 5\r\n[S]\r\nA = 2\r\n"},
      {"no group in a file that starts with a group", "[S]\nA=2\n", "-",
       kBom + "\r\nFontSize = 5\r\n[S]\r\nA = 2\r\n"},
      {"only the first of duplicate groups", "[S]\n[S]\nFontSize=1\n", "S",
       kBom + "\r\n[S]\r\nFontSize = 5\r\n[S]\r\nFontSize = 1\r\n"},
      {"empty file has no byte order mark", "", "-", "FontSize = 5\r\n"},
      {"empty file with a pending group", "", "S", "[S]\r\nFontSize = 5\r\n"},
      {"latin-1 text is written as UTF-8", "; \xE9t\xE9\n", "-",
       kBom + "\r\n; \xC3\xA9t\xC3\xA9\r\nFontSize = 5\r\n"},
      {"latin-1 group stays selected", "[Caf\xE9]\nA=1\n[T]\n", QString::fromUtf8("caf\xC3\xA9"),
       kBom + "\r\n[Caf\xC3\xA9]\r\nA = 1\r\nFontSize = 5\r\n[T]\r\n"},
  };
  for (const WriteBackCase& c : cases) {
    IniEngine engine;
    EXPECT_TRUE(engine.OpenIni(Write(c.before))) << c.name;
    if (c.group != "-") engine.SelectGroup(c.group);
    engine.WriteInteger("FontSize", 5);
    EXPECT_EQ(engine.ReadInteger("FONTSIZE", 0), 5) << c.name;
    EXPECT_TRUE(engine.CloseIni()) << c.name;
    EXPECT_EQ(Read(), c.after) << c.name;
  }
}

TEST_F(IniEngineTest, MissingFileIsCreatedOnlyWhenWritten) {
  {
    IniEngine engine;
    EXPECT_FALSE(engine.OpenIni(path_));
    EXPECT_FALSE(engine.SelectGroup("S"));
    EXPECT_EQ(engine.ReadInteger("K", 4), 4);
  }
  EXPECT_FALSE(QFile::exists(path_));
  {
    IniEngine engine;  // the destructor writes back
    engine.OpenIni(path_);
    engine.SelectGroup("S");
    engine.WriteInteger("K", -12);
  }
  EXPECT_EQ(Read(), kBom + "\r\n[S]\r\nK = -12\r\n");
}

TEST_F(IniEngineTest, CreateReplacesAndOpeningClosesTheDocumentBefore) {
  Write("[Old]\nA=1\n");
  IniEngine engine;
  ASSERT_TRUE(engine.CreateIni(path_));
  EXPECT_EQ(Read(), "[Old]\nA=1\n");  // nothing replaced before closing
  engine.SelectGroup("S");
  engine.WriteInteger("K", 1);
  const QString other = dir_.filePath("other.ini");
  EXPECT_FALSE(engine.OpenIni(other));
  EXPECT_EQ(Read(), kBom + "\r\n[S]\r\nK = 1\r\n");
  EXPECT_TRUE(engine.CreateIni(path_));
  EXPECT_TRUE(engine.CloseIni());
  EXPECT_EQ(Read(), kBom + "\r\n");  // an empty created document is still written
  EXPECT_FALSE(QFile::exists(other));
}

TEST_F(IniEngineTest, FailedCreateLeavesNoDocument) {
  IniEngine engine;
  EXPECT_FALSE(engine.CreateIni(dir_.filePath("missing/sub/test.ini")));
  EXPECT_FALSE(engine.SelectGroup(""));
  engine.WriteInteger("K", 1);
  EXPECT_TRUE(engine.CloseIni());
  EXPECT_FALSE(engine.OpenIni(dir_.path()));  // a folder is not a file
  EXPECT_EQ(engine.ReadInteger("K", 3), 3);
}

TEST_F(IniEngineTest, FormatOptions) {
  IniEngine engine;
  engine.SetFormat({.bareSeparator = true, .emptyLineBeforeGroups = true});
  engine.OpenIni(Write("A=1\n[S]\nB=2\n[T]\n"));
  engine.WriteInteger("C", 3);
  engine.CloseIni();
  EXPECT_EQ(Read(), kBom + "\r\nA=1\r\nC=3\r\n[S]\r\nB=2\r\n\r\n[T]\r\n");
}

TEST_F(IniEngineTest, RandomBytesReadWithoutFault) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 20; ++round) {
    QByteArray bytes(1 << 16, Qt::Uninitialized);
    // A small alphabet makes groups, keys and separators frequent.
    const char alphabet[] = "[]=;\r\n \tSsK09-\xEF\xBB\xBF\x00\xFF";
    for (char& c : bytes) {
      c = round % 2 ? char(random()) : alphabet[random() % (sizeof alphabet - 1)];
    }
    IniEngine engine;
    engine.OpenIni(Write(bytes));
    engine.SelectGroup("S");
    engine.ReadInteger("K", 1);
    engine.WriteInteger("K", 2);
    EXPECT_EQ(engine.ReadInteger("k", 0), 2);
    EXPECT_TRUE(engine.CloseIni());
  }
}

}  // namespace
}  // namespace folivane
