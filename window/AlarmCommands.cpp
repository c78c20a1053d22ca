// The "Alarms" menu of the main window and the banner under the trends:
// acknowledge and confirm from the window, and the case's alarm limits.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/Application.h"
#include "window/AlarmBanner.h"
#include "window/AlarmLimitsDialog.h"
#include "window/MainWindow.h"

namespace qx {

void TForm1::BuildAlarmsMenu() {
  AlarmsMenu = menuBar()->addMenu(tr("Alar&ms"));
  AlarmsMenu->setObjectName("AlarmsMenu");
  AlarmsMenu->setToolTipsVisible(true);
  AcknowledgeAlarms = AlarmsMenu->addAction(tr("&Acknowledge"));
  AcknowledgeAlarms->setObjectName("AcknowledgeAlarms");
  AcknowledgeAlarms->setShortcut(QKeySequence("Ctrl+K"));
  AcknowledgeAlarms->setToolTip(tr("Acknowledge every alarm that waits for it (Ctrl+K)"));
  ConfirmAlarms = AlarmsMenu->addAction(tr("&Confirm"));
  ConfirmAlarms->setObjectName("ConfirmAlarms");
  ConfirmAlarms->setShortcut(QKeySequence("Ctrl+Shift+K"));
  ConfirmAlarms->setToolTip(tr("Confirm every acknowledged alarm that waits for it"));
  AlarmsMenu->addSeparator();
  AlarmLimitsAction = AlarmsMenu->addAction(tr("Alarm &Limits..."));
  AlarmLimitsAction->setObjectName("AlarmLimits");
  AlarmLimitsAction->setToolTip(tr("The alarm limits of the loaded case, saved beside it"));
  connect(AcknowledgeAlarms, &QAction::triggered, this, &TForm1::AcknowledgeAlarmsClick);
  connect(ConfirmAlarms, &QAction::triggered, this, &TForm1::ConfirmAlarmsClick);
  connect(AlarmLimitsAction, &QAction::triggered, this, &TForm1::AlarmLimitsClick);
}

void TForm1::AcknowledgeAlarmsClick() {
  for (int i = 0; i < kAlarmKindCount; ++i) app_->AcknowledgeAlarm(static_cast<AlarmKind>(i), "");
  ShowAlarms();
}

void TForm1::ConfirmAlarmsClick() {
  for (int i = 0; i < kAlarmKindCount; ++i) app_->ConfirmAlarm(static_cast<AlarmKind>(i), "");
  ShowAlarms();
}

void TForm1::AlarmLimitsClick() {
  AlarmLimitsDialog dialog(app_->Alarms().Set().Limits(), app_->Separator(),
                           [this](const AlarmLimits& limits) { return app_->SetAlarmLimits(limits); }, this);
  dialog.exec();
  ShowAlarms();
}

void TForm1::ShowAlarms() {
  Alarms->ShowAlarms(app_->Alarms().Set().Statuses(), app_->Separator());
}

}  // namespace qx
