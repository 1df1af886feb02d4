#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/startup.h"

namespace folivane {
namespace {

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    state_.settingsDirectory = dir_.path() + "/";
    WriteFile("Folivane.ini", "[Settings]\r\nFontSize = 0\r\nPageHeader = 7\r\n");
    ends_.printSource = [this](RunState& state) {
      ++prints_;
      printedLines_ = state.request.source.lines;
    };
    ends_.showSettings = [this](RunState&) { ++windows_; };
  }

  QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }

  QTemporaryDir dir_;
  RunState state_;
  ModeEnds ends_;
  int prints_ = 0;
  int windows_ = 0;
  QStringList printedLines_;
};

TEST_F(StartupTest, NoParameterShowsTheSettingsLoadedAtStartup) {
  RunStartup(state_, {}, ends_);
  EXPECT_EQ(windows_, 1);
  EXPECT_EQ(prints_, 0);
  EXPECT_EQ(state_.settings.fontSize == FontSize::Large, 0 == 0);
  EXPECT_EQ(state_.settings.headerPlacement == HeaderPlacement::FirstPage, 7 == 0);
}

TEST_F(StartupTest, EmptyParameterTakesThePrintRoadAndReadsNothing) {
  const QString bystander = WriteFile("Folivane.pb", "Debug 1\n");
  RunStartup(state_, {""}, ends_);
  EXPECT_EQ(state_.settings.fontSize == FontSize::Large, 0 == 0);  // loaded on this road too
  EXPECT_EQ(prints_, 0);
  EXPECT_EQ(windows_, 0);
  EXPECT_TRUE(QFile::exists(bystander));
}

TEST_F(StartupTest, SingleParameterIsReadAndPrintedWithEmptySelectionAndKept) {
  const QString copy = WriteFile("copy.pb", "a\nb\n; IDE Options = PureBasic 6.10\n");
  RunStartup(state_, {QFile::encodeName(copy)}, ends_);
  EXPECT_EQ(prints_, 1);
  EXPECT_EQ(printedLines_, QStringList({"a", "b"}));
  EXPECT_EQ(state_.request.source.ideVersion, " PureBasic 6.10");
  EXPECT_TRUE(state_.request.sourcePath.isEmpty());
  EXPECT_TRUE(state_.request.selection.isEmpty());
  EXPECT_TRUE(QFile::exists(copy));
}

TEST_F(StartupTest, CopyIsDeletedOnlyWithAllThreeParameters) {
  const QString copy = WriteFile("copy.pb", "a\n");
  RunStartup(state_, {QFile::encodeName(copy), "/src/Tool.pb"}, ends_);
  EXPECT_TRUE(QFile::exists(copy));
  RunStartup(state_, {QFile::encodeName(copy), "/src/Tool.pb", ""}, ends_);
  EXPECT_EQ(prints_, 2);
  EXPECT_FALSE(QFile::exists(copy));
}

TEST_F(StartupTest, OnlyTheFirstThreeParametersCount) {
  const QString copy = WriteFile("copy.pb", "a\n");
  RunStartup(state_, {QFile::encodeName(copy), "/src/Tool.pb", "1x1x1x2", "extra", "more"}, ends_);
  EXPECT_EQ(state_.request.sourcePath, "/src/Tool.pb");
  EXPECT_EQ(state_.request.selection, "1x1x1x2");
  EXPECT_EQ(prints_, 1);
}

TEST_F(StartupTest, CopyWithOnlyTheOptionsBlockPrintsNothingButIsDeleted) {
  const QString copy = WriteFile("copy.pb", "; IDE Options = PureBasic 6.10\n; Folding = -\n");
  RunStartup(state_, {QFile::encodeName(copy), "/src/Tool.pb", ""}, ends_);
  EXPECT_EQ(prints_, 0);
  EXPECT_FALSE(QFile::exists(copy));
}

TEST_F(StartupTest, OnlyALoneHelpOrVersionIsAnswered) {
  EXPECT_TRUE(AnswerToShell({"--help"}).startsWith("Usage: folivane"));
  EXPECT_EQ(AnswerToShell({"--version"}), "folivane " FOLIVANE_VERSION "\n");
  EXPECT_TRUE(AnswerToShell({"--help", "/src/Tool.pb", ""}).isEmpty());
  EXPECT_TRUE(AnswerToShell({"-h"}).isEmpty());
  EXPECT_TRUE(AnswerToShell({}).isEmpty());
}

TEST_F(StartupTest, MissingSettingsFileGivesDefaults) {
  QFile::remove(dir_.filePath("Folivane.ini"));
  RunStartup(state_, {}, ends_);
  EXPECT_EQ(state_.settings.fontSize == FontSize::Large, 1 == 0);
  EXPECT_EQ(state_.settings.headerPlacement == HeaderPlacement::FirstPage, 1 == 0);
}

}  // namespace
}  // namespace folivane
