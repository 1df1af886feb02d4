#include "settings/settings_window.h"

#include "base/display.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

namespace folivane {

namespace {

void AddLabel(QWidget* window, const QString& text, const QRect& rect) {
  auto* label = new QLabel(window);
  label->setTextFormat(Qt::PlainText);  // an ampersand shows as an ampersand
  label->setText(text);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(rect);
}

QRadioButton* AddOption(QWidget* window, QButtonGroup* group, const QString& text, const QRect& rect) {
  auto* option = new QRadioButton(text, window);
  option->setGeometry(rect);
  group->addButton(option);
  return option;
}

}  // namespace

SettingsWindow::SettingsWindow(const QString& settingsPath, Settings& settings)
    : QWidget(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      settingsPath_(settingsPath),
      settings_(settings) {
  setWindowTitle(QStringLiteral("Folivane"));
  setFixedSize(kClientWidth, kClientHeight);

  // Created in stacking order: the frame lies beneath the controls drawn inside it.
  auto* frame = new QGroupBox(QStringLiteral("Options"), this);
  frame->setGeometry(10, 10, 210, 115);
  frame->setFocusPolicy(Qt::NoFocus);

  fontSizeGroup_ = new QButtonGroup(this);
  pageHeaderGroup_ = new QButtonGroup(this);
  AddLabel(this, QStringLiteral("Font Size:"), {20, 35, 95, 15});
  regular_ = AddOption(this, fontSizeGroup_, QStringLiteral("Regular"), {20, 50, 95, 15});
  large_ = AddOption(this, fontSizeGroup_, QStringLiteral("Large"), {115, 50, 95, 15});
  AddLabel(this, QStringLiteral("Page Header:"), {20, 80, 95, 15});
  everyPage_ = AddOption(this, pageHeaderGroup_, QStringLiteral("Every Page"), {20, 95, 95, 15});
  firstPage_ = AddOption(this, pageHeaderGroup_, QStringLiteral("First Page"), {115, 95, 95, 15});

  save_ = new QPushButton(QStringLiteral("Save"), this);
  save_->setGeometry(160, 130, 60, 20);
  save_->setAutoDefault(false);  // Enter does not save
  save_->setDefault(false);
  connect(save_, &QPushButton::clicked, this, &SettingsWindow::Save);

  (settings.fontSize == FontSize::Regular ? regular_ : large_)->setChecked(true);
  (settings.headerPlacement == HeaderPlacement::EveryPage ? everyPage_ : firstPage_)->setChecked(true);

  // Qt's buttons move the focus with the arrow keys, and within a group check the option they
  // reach; here only Tab, Shift+Tab and Space act on the controls.
  for (QWidget* control : std::array<QWidget*, 5>{regular_, large_, everyPage_, firstPage_, save_}) {
    control->installEventFilter(this);
  }

  // On first showing no control has the focus: the window keeps it until Tab or a click.
  setFocusPolicy(Qt::ClickFocus);
  setFocus(Qt::OtherFocusReason);

  CentreOnPrimaryScreen();
}

void SettingsWindow::Save() {
  settings_.fontSize = regular_->isChecked() ? FontSize::Regular : FontSize::Large;
  settings_.headerPlacement = everyPage_->isChecked() ? HeaderPlacement::EveryPage : HeaderPlacement::FirstPage;
  SaveSettings(settingsPath_, settings_);  // a failed save is silent; the window closes all the same
  close();
}

bool SettingsWindow::focusNextPrevChild(bool next) {
  // Qt's own chain skips the unchecked option of an exclusive group; the round visits every option.
  const std::array<QWidget*, 5> round = {regular_, large_, everyPage_, firstPage_, save_};
  const auto count = int(round.size());
  const auto found = std::find(round.begin(), round.end(), focusWidget());
  int index = 0;
  if (found == round.end()) {
    index = next ? 0 : count - 1;
  } else {
    index = (int(found - round.begin()) + (next ? 1 : count - 1)) % count;
  }
  round[std::size_t(index)]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Up:
      case Qt::Key_Down: return true;
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool SettingsWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowDeactivate) {
    QWidget* focus = focusWidget();
    if (focus && focus != this) focusOnDeactivation_ = focus;
  } else if (event->type() == QEvent::WindowActivate && focusOnDeactivation_) {
    focusOnDeactivation_->setFocus(Qt::ActiveWindowFocusReason);
  }
  return QWidget::event(event);
}

void SettingsWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  CentreOnPrimaryScreen();  // the frame is known now
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}

void SettingsWindow::CentreOnPrimaryScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize outer = frameGeometry().size();
  move(area.x() + (area.width() - std::min(area.width(), outer.width())) / 2,
       area.y() + (area.height() - std::min(area.height(), outer.height())) / 2);
}

void RunSettingsWindow(const QString& settingsPath, Settings& settings) {
  if (!CanShowWindows()) return;
  SettingsWindow window(settingsPath, settings);
  QEventLoop loop;
  QObject::connect(&window, &SettingsWindow::closed, &loop, &QEventLoop::quit);
  window.show();
  window.activateWindow();
  if (window.isVisible()) loop.exec();
}

}  // namespace folivane
