// The seven pages of the single-loop configuration: instrument ranges, PID
// equation, execution period, PV sample delay, gap action, initial output
// and transform.
#include <QBoxLayout>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>

#include "window/MainWindow.h"
#include "window/PanelBinding.h"

namespace qx {
namespace {

// Labelled edits, one a row.
QWidget* EditRows(PanelBinding& binding, const QList<QPair<QString, const char*>>& rows,
                  QWidget* parent, const QString& caption = QString()) {
  QWidget* box = caption.isEmpty() ? new QWidget(parent) : new QGroupBox(caption, parent);
  auto* grid = new QGridLayout(box);
  for (int i = 0; i < rows.size(); ++i) {
    grid->addWidget(new QLabel(rows[i].first, box), i, 0);
    QLineEdit* edit = binding.Edit(rows[i].second, box);
    edit->setFixedWidth(100);
    grid->addWidget(edit, i, 1);
  }
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(static_cast<int>(rows.size()), 1);
  return box;
}

QWidget* Page(QWidget* content) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->addWidget(content, 1);
  return page;
}

// The equation forms are formulae in the controller's own notation, the same
// in every language, so they are not offered for translation.
const QStringList kEquations = {
    "A0        P (dE   + E dt / I  +  D d(dE) / dt)",
    "B0        P (dE   + E dt / I  +  D d(dPV) / dt)",
    "C0        P (dPV + E dt / I  +  D d(dPV) / dt)",
    "A1       100/PB (dE   + E dt / I  +  D d(dE) / dt)",
    "B1       100/PB (dE   + E dt / I  +  D d(dPV) / dt)",
    "C1       100/PB (dPV + E dt / I  +  D d(dPV) / dt)",
    "A2       P (dE  + E dt I  +  D d(dE)  / dt)",
    "B2       P (dE  + E dt I  +  D d(dPV) / dt)",
    "C2       P (dPV + E dt I  +  D d(dPV) / dt)",
    "A3       100/PB (dE  + E dt I  +  D d(dE)  / dt)",
    "B3       100/PB (dE  + E dt I  +  D d(dPV) / dt)",
    "C3       100/PB (dPV + E dt I  +  D d(dPV) / dt)",
    "A4       P dE  + E dt / I  +  D d(dE)  / dt",
    "B4       P dE  + E dt / I  +  D d(dPV) / dt",
    "C4       P dPV + E dt / I  +  D d(dPV) / dt",
    "A5       P dE  + E dt I  +  D d(dE)  / dt",
    "B5       P dE  + E dt I  +  D d(dPV) / dt",
    "C5       P dPV + E dt I  +  D d(dPV) / dt",
    "A6       100/PB dE  + E dt / I  +  D d(dE)  / dt",
    "B6       100/PB dE  + E dt / I  +  D d(dPV) / dt",
    "C6       100/PB dPV + E dt / I  +  D d(dPV) / dt",
    "A7       100/PB dE  + E dt I  +  D d(dE)  / dt",
    "B7       100/PB dE  + E dt I  +  D d(dPV) / dt",
    "C7       100/PB dPV + E dt I  +  D d(dPV) / dt",
};

}  // namespace

QWidget* TForm1::BuildConfigurationPages() {
  PIDConfigPageControl = new QTabWidget(this);
  PIDConfigPageControl->setObjectName("PIDConfigPageControl");
  SinglePIDConfigTabSheet = new QWidget;
  SinglePIDConfigTabSheet->setObjectName("SinglePIDConfigTabSheet");
  PIDConfigPageControl->addTab(SinglePIDConfigTabSheet, tr("Single PID Configuration"));

  auto* sheet = new QVBoxLayout(SinglePIDConfigTabSheet);
  sheet->setContentsMargins(2, 2, 2, 2);
  SinglePIDPage = new QTabWidget(SinglePIDConfigTabSheet);
  SinglePIDPage->setObjectName("SinglePIDPage");
  SinglePIDPage->setUsesScrollButtons(true);
  SinglePIDPage->setElideMode(Qt::ElideNone);
  sheet->addWidget(SinglePIDPage);
  PanelBinding& b = *binding_;

  auto* ranges = new QWidget;
  auto* rangeRow = new QHBoxLayout(ranges);
  rangeRow->setContentsMargins(0, 0, 0, 0);
  rangeRow->addWidget(EditRows(b, {{tr("Low :"), "SingleCVLow"}, {tr("High :"), "SingleCVHigh"}}, ranges, tr("CV Range")));
  rangeRow->addWidget(EditRows(b, {{tr("Low :"), "SingleMVLow"}, {tr("High :"), "SingleMVHigh"}}, ranges, tr("MV Range")));
  SinglePIDPage->addTab(Page(ranges), tr("1. Instrument Ranges"));

  auto* equations = new QScrollArea;
  equations->setObjectName("SinglePIDEquationScroll");
  equations->setWidgetResizable(true);
  QGroupBox* equationList = b.Radios("SinglePIDEquation", tr("Select/Change PID Equation"), kEquations, 1, nullptr);
  // The forms are laid out in columns with spaces: only a fixed pitch keeps
  // them lined up.
  const QFont fixedPitch = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (QRadioButton* form : equationList->findChildren<QRadioButton*>()) form->setFont(fixedPitch);
  equations->setWidget(equationList);
  SinglePIDPage->addTab(Page(equations), tr("2. PID Equation"));

  SinglePIDPage->addTab(Page(b.Radios("SinglePIDExePeriodRadioGroup", tr("PID Execution Period"),
                                      {"0.5", "1", "2", "3", "5", "10", "15", "20"}, 2, nullptr)),
                        tr("3. PID Execution Period"));
  SinglePIDPage->addTab(Page(EditRows(b, {{tr("PV Sample Delay :"), "SinglePVSampleDelay"}}, nullptr)),
                        tr("4. PV Sample Delay"));
  SinglePIDPage->addTab(Page(EditRows(b,
                                      {{tr("Gap Gain :"), "SingleGapGain"},
                                       {tr("Gap Low :"), "SingleGapGainLow"},
                                       {tr("Gap High :"), "SingleGapGainHigh"}},
                                      nullptr)),
                        tr("5. Gap Action"));
  SinglePIDPage->addTab(Page(EditRows(b, {{tr("Initial PID Output :"), "SingleInitialValveOpening"}}, nullptr)),
                        tr("6. Initial PID Output"));
  SinglePIDPage->addTab(Page(b.Radios("SingleTrasnformRadioGroup", tr("Select/Change Transform"),
                                      {tr("No Transform"), tr("Natural Logarithm"), tr("Squared"), tr("Square Root")}, 1,
                                      nullptr)),
                        tr("7. Transform"));
  return PIDConfigPageControl;
}

}  // namespace qx
