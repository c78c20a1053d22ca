// The page "Single PID Tuning": tuning edits, the mode panel, set point,
// output and PV noise with their spin buttons.
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "window/ArrowPair.h"
#include "window/ClickablePanel.h"
#include "window/MainWindow.h"
#include "window/PanelBinding.h"

namespace qx {
namespace {

QLabel* Label(const QString& text, QWidget* parent, const char* name = nullptr) {
  auto* label = new QLabel(text, parent);
  if (name) label->setObjectName(name);
  return label;
}

}  // namespace

QWidget* TForm1::BuildTuningPage() {
  auto* page = new QWidget;
  page->setObjectName("SinglePID");
  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(14, 8, 14, 8);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(5);

  auto* heading = Label("Single", page);
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  grid->addWidget(heading, 0, 0, 1, 2);

  // P, I, D on the left; D lag and filter on the right.
  const char* tuningEdits[] = {"PSingle", "ISingle", "DSingle"};
  const char* tuningLabels[] = {"P :", "I :", "D :"};
  for (int i = 0; i < 3; ++i) {
    grid->addWidget(Label(tuningLabels[i], page), 1 + i, 0);
    grid->addWidget(binding_->Edit(tuningEdits[i], page), 1 + i, 1);
  }
  grid->addWidget(Label("D Lag:", page), 1, 3);
  grid->addWidget(binding_->Edit("DLagSingle", page), 1, 4);
  grid->addWidget(Label("Filter :", page), 2, 3);
  grid->addWidget(binding_->Edit("FilterTimeConstant", page), 2, 4);

  // The controller mode.
  auto* modeLabel = Label("Control Mode:", page);
  modeLabel->setFont(bold);
  grid->addWidget(modeLabel, 4, 0, 1, 2);
  manual_auto_select = new ClickablePanel(page);
  manual_auto_select->setObjectName("manual_auto_select");
  manual_auto_select->setFixedHeight(24);
  grid->addWidget(manual_auto_select, 4, 2, 1, 2);
  CascadeModeCheckBox = new QCheckBox("Cascade Mode", page);
  CascadeModeCheckBox->setObjectName("CascadeModeCheckBox");
  grid->addWidget(CascadeModeCheckBox, 4, 4);

  // Set point, output and PV noise, each with its spin button.
  struct SpinRow {
    const char* label;
    const char* labelName;
    const char* edit;
    const char* spin;
    ArrowPair** target;
  };
  const SpinRow rows[] = {
      {"SP", "LabelSP", "SingleSPNew", "SingleSPNewUpDownCSpinButton", &SingleSPNewUpDownCSpinButton},
      {"OP", "LabelOP", "SingleOPNew", "SingleOPNewUpDownCSpinButton", &SingleOPNewUpDownCSpinButton},
      {"PV Noise", "LabelPV", "PVNoise", "PVNoiseCSpinButton", &PVNoiseCSpinButton},
  };
  // The modes hide the set point or the output with its spin button; they
  // keep their places, so the rows do not move when the mode changes.
  auto keepPlace = [](QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
    return widget;
  };
  for (int i = 0; i < 3; ++i) {
    grid->addWidget(keepPlace(Label(rows[i].label, page, rows[i].labelName)), 5 + i, 0);
    grid->addWidget(keepPlace(binding_->Edit(rows[i].edit, page)), 5 + i, 1);
    *rows[i].target = new ArrowPair(Qt::Vertical, rows[i].spin, page);
    grid->addWidget(keepPlace(*rows[i].target), 5 + i, 2, Qt::AlignLeft);
  }
  LabelSP = page->findChild<QLabel*>("LabelSP");

  // The error display stays hidden.
  auto* errorLabel = Label("Error", page, "ErrorLabel");
  auto* errorDisplay = new QLineEdit(page);
  errorDisplay->setObjectName("Error_Display");
  errorLabel->hide();
  errorDisplay->hide();
  grid->addWidget(errorLabel, 8, 3);
  grid->addWidget(errorDisplay, 8, 4);

  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(4, 1);
  grid->setColumnMinimumWidth(2, 20);
  grid->setRowStretch(9, 1);
  return page;
}

}  // namespace qx
