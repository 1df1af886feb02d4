// INI engine: lookups by group and key, created documents, and read documents left as they are.
#include "settings/ini.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <limits>

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

TEST_F(IniEngineTest, LineRules) {
  IniEngine engine;
  // Comments, blanks inside brackets, text after "]", blanks around "=", an empty key, a key
  // without "=", CR-only line ends.
  engine.OpenIni(Write("[ Grp ] tail\r\n  ;  K=1 \r\n\r\n\tKey \t=\t 7 \r=8\rbare\n[Grp\nK=9"));
  EXPECT_TRUE(engine.SelectGroup(" Grp "));
  EXPECT_EQ(engine.ReadInteger("K", 5), 5);
  EXPECT_EQ(engine.ReadInteger("Key", 0), 7);
  EXPECT_EQ(engine.ReadInteger("", 0), 8);
  EXPECT_EQ(engine.ReadInteger("bare", 5), 0);
  EXPECT_TRUE(engine.SelectGroup("grp"));
  EXPECT_EQ(engine.ReadInteger("K", 0), 9);
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

TEST_F(IniEngineTest, CreatedDocumentKeepsKeysInTheirGroups) {
  IniEngine engine;
  ASSERT_TRUE(engine.CreateIni(path_));
  EXPECT_FALSE(engine.SelectGroup("S"));
  engine.WriteInteger("A", 1);
  engine.SelectGroup("T");
  engine.WriteInteger("B", 2);
  EXPECT_TRUE(engine.SelectGroup("s"));
  engine.WriteInteger("a", 3);  // replaces value and key spelling
  engine.WriteInteger("C", -4);
  EXPECT_EQ(engine.ReadInteger("A", 0), 3);
  EXPECT_TRUE(engine.SelectGroup(""));
  engine.WriteInteger("D", 5);
  EXPECT_TRUE(engine.CloseIni());
  EXPECT_EQ(Read(), kBom + "\r\nD = 5\r\n[S]\r\na = 3\r\nC = -4\r\n[T]\r\nB = 2\r\n");
}

TEST_F(IniEngineTest, ReadDocumentsAreNeverWritten) {
  {
    IniEngine engine;
    EXPECT_FALSE(engine.OpenIni(path_));
    EXPECT_FALSE(engine.SelectGroup("S"));
    EXPECT_EQ(engine.ReadInteger("K", 4), 4);
    engine.WriteInteger("K", 1);
  }
  EXPECT_FALSE(QFile::exists(path_));
  Write("[S]\nK=1\n");
  IniEngine engine;
  EXPECT_TRUE(engine.OpenIni(path_));
  engine.SelectGroup("S");
  engine.WriteInteger("K", 2);
  EXPECT_EQ(engine.ReadInteger("K", 0), 1);
  EXPECT_TRUE(engine.CloseIni());
  EXPECT_EQ(Read(), "[S]\nK=1\n");
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

}  // namespace
}  // namespace folivane
