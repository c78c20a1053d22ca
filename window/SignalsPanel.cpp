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

  auto* header = new QLabel("Disturbances - Step/Pulse/Ramp/Sine Signals", panel);
  QFont bold = header->font();
  bold.setBold(true);
  header->setFont(bold);
  column->addWidget(header);

  const SignalGroup groups[] = {
      {"Pulse", "PulseOnOff", "PulseWidth", "Width", "PulseChange", "Change"},
      {"Ramp", "RampOnOff", "RampRate", "Rate", "RampChange", "Change"},
      {"Sine", "SineOnOff", "SineFrequency", "Frequency", "SineAmplitude", "Amplitude"},
  };
  for (const SignalGroup& g : groups) {
    auto* box = new QGroupBox(g.caption, panel);
    box->setObjectName(QString(g.caption) + "Group");
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setVerticalSpacing(3);
    grid->addWidget(binding_->Radios(g.onOff, QString(), {"On", "Off"}, 2, box), 0, 0, 2, 1);
    grid->addWidget(new QLabel(g.rateLabel, box), 0, 1);
    grid->addWidget(binding_->Edit(g.rateEdit, box), 0, 2);
    grid->addWidget(new QLabel(g.sizeLabel, box), 1, 1);
    grid->addWidget(binding_->Edit(g.sizeEdit, box), 1, 2);
    if (QString(g.caption) == "Pulse")
      grid->addWidget(binding_->Radios("PulseRandomRegular", QString(), {"Regular", "Random"}, 1, box), 0, 3, 2, 1);
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
