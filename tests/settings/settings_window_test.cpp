// The settings window on the offscreen platform: layout, initial states, Save and close, keyboard.
#include "settings/settings_window.h"
#include "support/settings_choices.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <array>

namespace folivane {
namespace {

const QByteArray kSaved11 = "\xEF\xBB\xBF\r\n[Settings]\r\nFontSize = 1\r\nPageHeader = 1\r\n";
const QByteArray kSaved00 = "\xEF\xBB\xBF\r\n[Settings]\r\nFontSize = 0\r\nPageHeader = 0\r\n";
const QByteArray kOldFile = "; by hand\r\n[Settings]\r\nFontSize = 7\r\n";

class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kOldFile);
  }
  QByteArray FileBytes() const {
    QFile file(path_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // Shows the window and makes it the active one, as a user's first look at it.
  void ShowActive(SettingsWindow& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  static void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, modifiers);
  }

  QTemporaryDir dir_;
  QString path_ = dir_.filePath("Folivane.ini");
};

TEST_F(SettingsWindowTest, WindowAndControls) {
  Settings settings;
  SettingsWindow window(path_, settings);
  EXPECT_EQ(window.windowTitle(), "Folivane");
  EXPECT_EQ(window.size(), QSize(230, 153));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

  struct Control {
    QWidget* widget;
    QRect rect;
    QString text;
  };
  const Control controls[] = {
      {window.frame(), {10, 10, 210, 115}, window.frame()->title()},
      {window.fontSizeLabel(), {20, 35, 95, 15}, window.fontSizeLabel()->text()},
      {window.regularOption(), {20, 50, 95, 15}, window.regularOption()->text()},
      {window.largeOption(), {115, 50, 95, 15}, window.largeOption()->text()},
      {window.pageHeaderLabel(), {20, 80, 95, 15}, window.pageHeaderLabel()->text()},
      {window.everyPageOption(), {20, 95, 95, 15}, window.everyPageOption()->text()},
      {window.firstPageOption(), {115, 95, 95, 15}, window.firstPageOption()->text()},
      {window.saveButton(), {160, 130, 60, 20}, window.saveButton()->text()},
  };
  const char* texts[] = {"Options",    "Font Size:", "Regular",    "Large",
                         "Page Header:", "Every Page", "First Page", "Save"};
  for (std::size_t i = 0; i < std::size(controls); ++i) {
    EXPECT_EQ(controls[i].widget->parentWidget(), &window) << texts[i];
    EXPECT_EQ(controls[i].widget->geometry(), controls[i].rect) << texts[i];
    EXPECT_EQ(controls[i].text, texts[i]);
  }
  // Creation order is stacking order: the frame lies beneath everything else.
  EXPECT_EQ(window.children().indexOf(window.frame()), 0);
  EXPECT_EQ(window.fontSizeLabel()->textFormat(), Qt::PlainText);
  EXPECT_FALSE(window.saveButton()->autoDefault());
  EXPECT_FALSE(window.saveButton()->isDefault());
}

TEST_F(SettingsWindowTest, InitialStatesFollowTheRecord) {
  struct Case {
    Settings settings;
    bool regular;
    bool everyPage;
  };
  const Case cases[] = {{Choices(1, 1), true, true}, {Choices(0, 0), false, false}, {Choices(1, 0), true, false}, {Choices(0, 1), false, true}};
  for (Case c : cases) {
    SettingsWindow window(path_, c.settings);
    EXPECT_EQ(window.regularOption()->isChecked(), c.regular);
    EXPECT_EQ(window.largeOption()->isChecked(), !c.regular);
    EXPECT_EQ(window.everyPageOption()->isChecked(), c.everyPage);
    EXPECT_EQ(window.firstPageOption()->isChecked(), !c.everyPage);
  }
}

TEST_F(SettingsWindowTest, SaveStoresOneOrZeroAndCloses) {
  Settings settings = Choices(2, -1);
  SettingsWindow window(path_, settings);
  ShowActive(window);
  QSignalSpy closed(&window, &SettingsWindow::closed);
  QTest::mouseClick(window.saveButton(), Qt::LeftButton);
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(settings.fontSize == FontSize::Large, 1 == 0);
  EXPECT_EQ(settings.headerPlacement == HeaderPlacement::FirstPage, 1 == 0);
  EXPECT_EQ(FileBytes(), kSaved11);

  SettingsWindow second(path_, settings);
  ShowActive(second);
  QTest::mouseClick(second.largeOption(), Qt::LeftButton);
  QTest::mouseClick(second.firstPageOption(), Qt::LeftButton);
  EXPECT_EQ(FileBytes(), kSaved11);  // clicking options writes nothing
  EXPECT_TRUE(second.isVisible());
  QTest::mouseClick(second.saveButton(), Qt::LeftButton);
  EXPECT_EQ(settings.fontSize == FontSize::Large, 0 == 0);
  EXPECT_EQ(settings.headerPlacement == HeaderPlacement::FirstPage, 0 == 0);
  EXPECT_EQ(FileBytes(), kSaved00);
}

TEST_F(SettingsWindowTest, ClosingOtherwiseSavesNothing) {
  Settings settings = Choices(1, 1);
  SettingsWindow window(path_, settings);
  ShowActive(window);
  QSignalSpy closed(&window, &SettingsWindow::closed);
  QTest::mouseClick(window.largeOption(), Qt::LeftButton);
  window.close();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(FileBytes(), kOldFile);
  EXPECT_EQ(settings.fontSize == FontSize::Large, 1 == 0);
}

TEST_F(SettingsWindowTest, EnterAndEscapeDoNothing) {
  Settings settings;
  SettingsWindow window(path_, settings);
  ShowActive(window);
  for (QWidget* target : {static_cast<QWidget*>(window.saveButton()), static_cast<QWidget*>(window.largeOption())}) {
    target->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) PressKey(key);
  }
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.regularOption()->isChecked());
  EXPECT_EQ(FileBytes(), kOldFile);
  PressKey(Qt::Key_Space);  // Space on a focused option checks it
  EXPECT_TRUE(window.largeOption()->isChecked());
}

TEST_F(SettingsWindowTest, TabVisitsEveryControlInARound) {
  Settings settings = Choices(1, 1);  // "Large" and "First Page" unchecked: Qt's own chain would skip them
  SettingsWindow window(path_, settings);
  ShowActive(window);
  EXPECT_EQ(QApplication::focusWidget(), &window);  // no control has the focus at first
  const QWidget* forward[] = {window.regularOption(), window.largeOption(), window.everyPageOption(),
                              window.firstPageOption(), window.saveButton(), window.regularOption()};
  for (const QWidget* expected : forward) {
    PressKey(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected);
  }
  const QWidget* backward[] = {window.saveButton(), window.firstPageOption(), window.everyPageOption(),
                               window.largeOption(), window.regularOption(), window.saveButton()};
  for (const QWidget* expected : backward) {
    PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), expected);
  }
  EXPECT_TRUE(window.regularOption()->isChecked());  // moving the focus checks nothing
  EXPECT_TRUE(window.everyPageOption()->isChecked());
}

TEST_F(SettingsWindowTest, ShiftTabFromNoFocusGoesToSave) {
  Settings settings;
  SettingsWindow window(path_, settings);
  ShowActive(window);
  PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), window.saveButton());
}

TEST_F(SettingsWindowTest, OptionsStayExclusive) {
  Settings settings = Choices(1, 1);
  SettingsWindow window(path_, settings);
  ShowActive(window);
  QTest::mouseClick(window.regularOption(), Qt::LeftButton);  // clicking the checked option keeps it
  EXPECT_TRUE(window.regularOption()->isChecked());
  EXPECT_FALSE(window.largeOption()->isChecked());
  QTest::mouseClick(window.largeOption(), Qt::LeftButton);
  EXPECT_FALSE(window.regularOption()->isChecked());
  EXPECT_TRUE(window.largeOption()->isChecked());
  EXPECT_TRUE(window.everyPageOption()->isChecked());  // the other group is untouched
}

TEST_F(SettingsWindowTest, ArrowKeysDoNothing) {
  Settings settings = Choices(1, 1);
  SettingsWindow window(path_, settings);
  ShowActive(window);
  const std::array<QWidget*, 5> controls = {window.regularOption(), window.largeOption(), window.everyPageOption(),
                                            window.firstPageOption(), window.saveButton()};
  for (QWidget* control : controls) {
    control->setFocus();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up}) {
      PressKey(key);
      EXPECT_EQ(QApplication::focusWidget(), control) << key;
    }
  }
  EXPECT_TRUE(window.regularOption()->isChecked());
  EXPECT_TRUE(window.everyPageOption()->isChecked());
  EXPECT_TRUE(window.isVisible());
}

TEST_F(SettingsWindowTest, StaticTextsStandAtTheTopOfTheirRectangle) {
  Settings settings;
  SettingsWindow window(path_, settings);
  for (const QLabel* label : {window.fontSizeLabel(), window.pageHeaderLabel()}) {
    EXPECT_EQ(label->alignment(), Qt::AlignTop | Qt::AlignLeft) << label->text().toStdString();
  }
}

TEST_F(SettingsWindowTest, ActivationGivesFocusBack) {
  Settings settings;
  SettingsWindow window(path_, settings);
  ShowActive(window);
  window.largeOption()->setFocus();
  QWidget other;
  other.resize(50, 50);
  other.show();
  QApplication::setActiveWindow(&other);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::focusWidget(), window.largeOption());
}

TEST_F(SettingsWindowTest, RunReturnsAtOnceWithoutAWindowingSystem) {
  ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
  Settings settings = Choices(0, 0);
  RunSettingsWindow(path_, settings);
  EXPECT_EQ(settings.fontSize == FontSize::Large, 0 == 0);
  EXPECT_EQ(FileBytes(), kOldFile);
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

}  // namespace
}  // namespace folivane
