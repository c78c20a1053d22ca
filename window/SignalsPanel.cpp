// The disturbance signals: pulse, ramp and sine, each switched on or off,
// with its rate and size; and the read-out label of the charts.
#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "window/MainWindow.h"
#include "window/PanelBinding.h"

namespace qx {
namespace {

struct SignalGroup {
  const char* caption;
  const char* onOff;
  const char* rateEdit;
  const char* rateLabel;
  const char* sizeEdit;
  const char* sizeLabel;
};

}  // namespace

QWidget* TForm1::BuildSignalsPanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName("SignalsPanel");
  panel->setFixedWidth(390);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(6, 4, 6, 2);
  column->setSpacing(3);

  auto* header = new QLabel(tr("Disturbances - Step/Pulse/Ramp/Sine Signals"), panel);
  QFont bold = header->font();
  bold.setBold(true);
  header->setFont(bold);
  column->addWidget(header);

  const SignalGroup groups[] = {
      {QT_TR_NOOP("Pulse"), "PulseOnOff", "PulseWidth", QT_TR_NOOP("Width"), "PulseChange", QT_TR_NOOP("Change")},
      {QT_TR_NOOP("Ramp"), "RampOnOff", "RampRate", QT_TR_NOOP("Rate"), "RampChange", QT_TR_NOOP("Change")},
      {QT_TR_NOOP("Sine"), "SineOnOff", "SineFrequency", QT_TR_NOOP("Frequency"), "SineAmplitude", QT_TR_NOOP("Amplitude")},
  };
  for (const SignalGroup& g : groups) {
    auto* box = new QGroupBox(tr(g.caption), panel);
    box->setObjectName(QString(g.caption) + "Group");
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setVerticalSpacing(3);
    grid->addWidget(binding_->Radios(g.onOff, QString(), {tr("On"), tr("Off")}, 2, box), 0, 0, 2, 1);
    grid->addWidget(new QLabel(tr(g.rateLabel), box), 0, 1);
    grid->addWidget(binding_->Edit(g.rateEdit, box), 0, 2);
    grid->addWidget(new QLabel(tr(g.sizeLabel), box), 1, 1);
    grid->addWidget(binding_->Edit(g.sizeEdit, box), 1, 2);
    if (QString(g.caption) == "Pulse")
      grid->addWidget(binding_->Radios("PulseRandomRegular", QString(), {tr("Regular"), tr("Random")}, 1, box), 0, 3, 2, 1);
    grid->setColumnMinimumWidth(1, 72);  // the edits of the three groups line up
    grid->setColumnStretch(2, 1);
    column->addWidget(box);
  }

  Plot_PointDisplayLabel = new QLabel(panel);
  Plot_PointDisplayLabel->setObjectName("Plot_PointDisplayLabel");
  Plot_PointDisplayLabel->setMinimumHeight(18);
  column->addWidget(Plot_PointDisplayLabel);
  column->addStretch(1);
  return panel;
}

}  // namespace qx
