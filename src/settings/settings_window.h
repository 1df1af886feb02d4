// The small settings window shown when the tool starts without parameters.
#pragma once

#include "settings/settings.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>

class QButtonGroup;
class QPushButton;
class QRadioButton;

namespace folivane {

// Two option groups and a Save button. Save stores the checked options in `settings`, writes the
// settings file and closes; closing the window in any other way saves nothing. Enter and Escape
// have no function, nor have the arrow keys. Tab visits the four options and Save in a fixed round.
class SettingsWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 230;
  static constexpr int kClientHeight = 153;

  SettingsWindow(const QString& settingsPath, Settings& settings);

 signals:
  void closed();

 protected:
  bool focusNextPrevChild(bool next) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Save();
  void CentreOnPrimaryScreen();

  QString settingsPath_;
  Settings& settings_;
  QRadioButton* regular_ = nullptr;
  QRadioButton* large_ = nullptr;
  QRadioButton* everyPage_ = nullptr;
  QRadioButton* firstPage_ = nullptr;
  QPushButton* save_ = nullptr;
  QButtonGroup* fontSizeGroup_ = nullptr;
  QButtonGroup* pageHeaderGroup_ = nullptr;
  QPointer<QWidget> focusOnDeactivation_;
};

// Shows the settings window and returns when it has closed. Returns at once, saving nothing,
// where no window can be shown (no application, or the offscreen or minimal platform).
void RunSettingsWindow(const QString& settingsPath, Settings& settings);

}  // namespace folivane
