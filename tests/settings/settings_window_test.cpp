// The settings window on the offscreen platform: layout, initial states, Save and close, keyboard.
#include "settings/settings_window.h"
#include "support/settings_choices.h"

#include <QApplication>
#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QPushButton>
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

// What a control shows: a frame's title, a label's or a button's text.
QString TextOf(const QWidget* control) {
  return control->property(control->inherits("QGroupBox") ? "title" : "text").toString();
}

// The control that shows `text`, found as a user finds it.
template <typename Control = QAbstractButton>
Control* Find(const QWidget& window, const char* text) {
  for (Control* control : window.findChildren<Control*>())
    if (TextOf(control) == QLatin1String(text)) return control;
  ADD_FAILURE() << "no control shows " << text;
  return nullptr;
}

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

  // Created in this order, which is also their stacking and keyboard order.
  const QList<QWidget*> controls = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  const struct {
    QRect rect;
    const char* text;
  } expected[] = {
      {{10, 10, 210, 115}, "Options"},   {{20, 35, 95, 15}, "Font Size:"},   {{20, 50, 95, 15}, "Regular"},
      {{115, 50, 95, 15}, "Large"},      {{20, 80, 95, 15}, "Page Header:"}, {{20, 95, 95, 15}, "Every Page"},
      {{115, 95, 95, 15}, "First Page"}, {{160, 130, 60, 20}, "Save"},
  };
  ASSERT_EQ(controls.size(), qsizetype(std::size(expected)));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(TextOf(controls[qsizetype(i)]), expected[i].text);
    EXPECT_EQ(controls[qsizetype(i)]->geometry(), expected[i].rect) << expected[i].text;
  }
  // The frame lies beneath everything else.
  EXPECT_EQ(window.children().indexOf(controls[0]), 0);
  EXPECT_EQ(Find<QLabel>(window, "Font Size:")->textFormat(), Qt::PlainText);
  EXPECT_FALSE(Find<QPushButton>(window, "Save")->autoDefault());
  EXPECT_FALSE(Find<QPushButton>(window, "Save")->isDefault());
}

TEST_F(SettingsWindowTest, InitialStatesFollowTheRecord) {
  struct Case {
    Settings settings;
    bool regular;
    bool everyPage;
  };
  const Case cases[] = {{Choices(1, 1), true, true},
                        {Choices(0, 0), false, false},
                        {Choices(1, 0), true, false},
                        {Choices(0, 1), false, true}};
  for (Case c : cases) {
    SettingsWindow window(path_, c.settings);
    EXPECT_EQ(Find(window, "Regular")->isChecked(), c.regular);
    EXPECT_EQ(Find(window, "Large")->isChecked(), !c.regular);
    EXPECT_EQ(Find(window, "Every Page")->isChecked(), c.everyPage);
    EXPECT_EQ(Find(window, "First Page")->isChecked(), !c.everyPage);
  }
}

TEST_F(SettingsWindowTest, SaveStoresOneOrZeroAndCloses) {
  Settings settings = Choices(2, -1);
  SettingsWindow window(path_, settings);
  ShowActive(window);
  QSignalSpy closed(&window, &SettingsWindow::closed);
  QTest::mouseClick(Find(window, "Save"), Qt::LeftButton);
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(settings.fontSize == FontSize::Large, 1 == 0);
  EXPECT_EQ(settings.headerPlacement == HeaderPlacement::FirstPage, 1 == 0);
  EXPECT_EQ(FileBytes(), kSaved11);

  SettingsWindow second(path_, settings);
  ShowActive(second);
  QTest::mouseClick(Find(second, "Large"), Qt::LeftButton);
  QTest::mouseClick(Find(second, "First Page"), Qt::LeftButton);
  EXPECT_EQ(FileBytes(), kSaved11);  // clicking options writes nothing
  EXPECT_TRUE(second.isVisible());
  QTest::mouseClick(Find(second, "Save"), Qt::LeftButton);
  EXPECT_EQ(settings.fontSize == FontSize::Large, 0 == 0);
  EXPECT_EQ(settings.headerPlacement == HeaderPlacement::FirstPage, 0 == 0);
  EXPECT_EQ(FileBytes(), kSaved00);
}

TEST_F(SettingsWindowTest, ClosingOtherwiseSavesNothing) {
  Settings settings = Choices(1, 1);
  SettingsWindow window(path_, settings);
  ShowActive(window);
  QSignalSpy closed(&window, &SettingsWindow::closed);
  QTest::mouseClick(Find(window, "Large"), Qt::LeftButton);
  window.close();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(FileBytes(), kOldFile);
  EXPECT_EQ(settings.fontSize == FontSize::Large, 1 == 0);
}

TEST_F(SettingsWindowTest, EnterAndEscapeDoNothing) {
  Settings settings;
  SettingsWindow window(path_, settings);
  ShowActive(window);
  for (QWidget* target : {static_cast<QWidget*>(Find(window, "Save")), static_cast<QWidget*>(Find(window, "Large"))}) {
    target->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) PressKey(key);
  }
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(Find(window, "Regular")->isChecked());
  EXPECT_EQ(FileBytes(), kOldFile);
  PressKey(Qt::Key_Space);  // Space on a focused option checks it
  EXPECT_TRUE(Find(window, "Large")->isChecked());
}

TEST_F(SettingsWindowTest, TabVisitsEveryControlInARound) {
  Settings settings = Choices(1, 1);  // "Large" and "First Page" unchecked: Qt's own chain would skip them
  SettingsWindow window(path_, settings);
  ShowActive(window);
  EXPECT_EQ(QApplication::focusWidget(), &window);  // no control has the focus at first
  const QWidget* forward[] = {Find(window, "Regular"),    Find(window, "Large"), Find(window, "Every Page"),
                              Find(window, "First Page"), Find(window, "Save"),  Find(window, "Regular")};
  for (const QWidget* expected : forward) {
    PressKey(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected);
  }
  const QWidget* backward[] = {Find(window, "Save"),  Find(window, "First Page"), Find(window, "Every Page"),
                               Find(window, "Large"), Find(window, "Regular"),    Find(window, "Save")};
  for (const QWidget* expected : backward) {
    PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), expected);
  }
  EXPECT_TRUE(Find(window, "Regular")->isChecked());  // moving the focus checks nothing
  EXPECT_TRUE(Find(window, "Every Page")->isChecked());
}

TEST_F(SettingsWindowTest, ShiftTabFromNoFocusGoesToSave) {
  Settings settings;
  SettingsWindow window(path_, settings);
  ShowActive(window);
  PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), Find(window, "Save"));
}

TEST_F(SettingsWindowTest, OptionsStayExclusive) {
  Settings settings = Choices(1, 1);
  SettingsWindow window(path_, settings);
  ShowActive(window);
  QTest::mouseClick(Find(window, "Regular"), Qt::LeftButton);  // clicking the checked option keeps it
  EXPECT_TRUE(Find(window, "Regular")->isChecked());
  EXPECT_FALSE(Find(window, "Large")->isChecked());
  QTest::mouseClick(Find(window, "Large"), Qt::LeftButton);
  EXPECT_FALSE(Find(window, "Regular")->isChecked());
  EXPECT_TRUE(Find(window, "Large")->isChecked());
  EXPECT_TRUE(Find(window, "Every Page")->isChecked());  // the other group is untouched
}

TEST_F(SettingsWindowTest, ArrowKeysDoNothing) {
  Settings settings = Choices(1, 1);
  SettingsWindow window(path_, settings);
  ShowActive(window);
  const std::array<QWidget*, 5> controls = {Find(window, "Regular"), Find(window, "Large"), Find(window, "Every Page"),
                                            Find(window, "First Page"), Find(window, "Save")};
  for (QWidget* control : controls) {
    control->setFocus();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up}) {
      PressKey(key);
      EXPECT_EQ(QApplication::focusWidget(), control) << key;
    }
  }
  EXPECT_TRUE(Find(window, "Regular")->isChecked());
  EXPECT_TRUE(Find(window, "Every Page")->isChecked());
  EXPECT_TRUE(window.isVisible());
}

TEST_F(SettingsWindowTest, StaticTextsStandAtTheTopOfTheirRectangle) {
  Settings settings;
  SettingsWindow window(path_, settings);
  for (const QLabel* label : {Find<QLabel>(window, "Font Size:"), Find<QLabel>(window, "Page Header:")}) {
    EXPECT_EQ(label->alignment(), Qt::AlignTop | Qt::AlignLeft) << label->text().toStdString();
  }
}

TEST_F(SettingsWindowTest, ActivationGivesFocusBack) {
  Settings settings;
  SettingsWindow window(path_, settings);
  ShowActive(window);
  Find(window, "Large")->setFocus();
  QWidget other;
  other.resize(50, 50);
  other.show();
  QApplication::setActiveWindow(&other);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::focusWidget(), Find(window, "Large"));
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
