// The "Analysis" menu of the main window: "Identify and Tune" on the
// selected stretch of the trends (or the whole trend window), "Tuning Map"
// of the running case around its settings, "Export
// Trends" as CSV, "Save Chart Image" as PNG, and the live indices under the
// charts.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/Application.h"
#include "app/LoopAnalysis.h"
#include "app/StretchIdentification.h"
#include "app/TrendExport.h"
#include "window/IdentifyDialog.h"
#include "window/TuningMapDialog.h"
#include "window/Faceplate.h"
#include "window/IndicesPanel.h"
#include "window/MainWindow.h"
#include "window/Prompter.h"
#include "window/WindowAppHost.h"
#include "window/WindowHost.h"
#include "window/charts/TrendCharts.h"
#include "window/tools/SyntheticInput.h"

namespace qx {
namespace {

// The indices change at every step; a few refreshes a second are what an
// eye can follow and cost the run nothing.
constexpr int kIndicesRefreshMs = 250;

QAction* MenuAction(QMenu* menu, const char* name, const QString& text, const QKeySequence& keys,
                    const QString& tip) {
  QAction* action = menu->addAction(text);
  action->setObjectName(name);
  action->setShortcut(keys);
  action->setToolTip(tip);
  return action;
}

QString MessageTitle() { return QString::fromUtf8(kMessageTitle.data(), static_cast<int>(kMessageTitle.size())); }

}  // namespace

void TForm1::BuildAnalysisMenu() {
  AnalysisMenu = menuBar()->addMenu(tr("&Analysis"));
  AnalysisMenu->setObjectName("AnalysisMenu");
  // The status bar's panels leave no room for status tips; the entries
  // explain themselves as tooltips.
  AnalysisMenu->setToolTipsVisible(true);
  IdentifyAndTune = MenuAction(AnalysisMenu, "IdentifyAndTune", tr("&Identify and Tune..."), QKeySequence("Ctrl+I"),
                               tr("Fit models to the stretch selected with Shift and a drag on the trends "
                               "(or to the whole trend window) and suggest tunings"));
  TuningMapAction = MenuAction(AnalysisMenu, "TuningMap", tr("Tuning &Map..."), QKeySequence("Ctrl+M"),
                               tr("Run the case over a grid of P and I around the current settings in the "
                                  "background and map an index; a click on the map applies a setting"));
  ClearStretch = MenuAction(AnalysisMenu, "ClearStretch", tr("&Clear Stretch"), QKeySequence(Qt::Key_Escape),
                            tr("Clear the stretch selected on the trends"));
  AnalysisMenu->addSeparator();
  ExportTrends = MenuAction(AnalysisMenu, "ExportTrends", tr("&Export Trends..."), QKeySequence("Ctrl+E"),
                            tr("Write the trend window as a CSV file: time, t (the run clock), SP, PV, OP"));
  SaveChartImage = MenuAction(AnalysisMenu, "SaveChartImage", tr("Save Chart &Image..."), QKeySequence("Ctrl+Shift+I"),
                              tr("Save the trend charts as a PNG image"));
  AnalysisMenu->addSeparator();
  FreezeTrends = MenuAction(AnalysisMenu, "FreezeTrends", tr("&Freeze Trends"), QKeySequence(Qt::Key_F9),
                            tr("Hold the trend display while the run goes on; Identify and Export work on "
                               "what is shown"));
  FreezeTrends->setCheckable(true);
  CursorLine = MenuAction(AnalysisMenu, "CursorLine", tr("Cursor &Line"), QKeySequence("Ctrl+L"),
                          tr("A vertical line across both charts under the mouse with SP, PV, OP and the run "
                             "time of that sample (also while Ctrl is held over a chart)"));
  CursorLine->setCheckable(true);
  // Until a run shows the trends there is nothing to analyse.
  for (QAction* action : {IdentifyAndTune, TuningMapAction, ExportTrends, SaveChartImage, FreezeTrends})
    action->setEnabled(false);

  connect(IdentifyAndTune, &QAction::triggered, this, &TForm1::IdentifyAndTuneClick);
  connect(TuningMapAction, &QAction::triggered, this, &TForm1::TuningMapClick);
  connect(ClearStretch, &QAction::triggered, this, &TForm1::ClearStretchClick);
  connect(ExportTrends, &QAction::triggered, this, &TForm1::ExportTrendsClick);
  connect(SaveChartImage, &QAction::triggered, this, &TForm1::SaveChartImageClick);
  connect(FreezeTrends, &QAction::toggled, this, &TForm1::FreezeTrendsToggled);
  // The charts are built after the menu.
  connect(CursorLine, &QAction::toggled, this, [this](bool on) { TwoPlot1->SetCursorLineOn(on); });

  IndicesTimer = new QTimer(this);
  IndicesTimer->setObjectName("IndicesTimer");
  IndicesTimer->setInterval(kIndicesRefreshMs);
  connect(IndicesTimer, &QTimer::timeout, this, &TForm1::IndicesTimerTimer);
}

bool TForm1::AnalysisShortcut(QObject* watched, const QKeyEvent& key) const {
  if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this) return false;
  const QKeySequence pressed(key.keyCombination());
  for (const QMenu* menu : {AnalysisMenu, AlarmsMenu})
    for (const QAction* action : menu->actions())
      if (action->isEnabled() && !action->shortcut().isEmpty() && action->shortcut() == pressed) return true;
  return false;
}

void TForm1::IndicesTimerTimer() {
  const IndexList values = IndexValues(app_->Analysis().Results());
  // Where the indices' window starts on the charts, when they show it.
  std::optional<double> shownAt;
  for (const IndexValue& index : values)
    if (index.value && std::strcmp(index.name, "WindowStart") == 0)
      if (const std::optional<int> place = TwoPlot1->Shown().IndexOfClock(*index.value))
        shownAt = TwoPlot1->Shown().TimeAt(*place);
  Indices->ShowValues(values, app_->Separator(), shownAt);
  LoopFaceplate->ShowLoop(app_->Model().SingleLoop);
  ShowAlarms();
}

std::vector<TrendRow> TForm1::TrendRows() {
  // The output trend holds the MV; percent of output is MV / MVHigh.
  const double mvHigh = app_->Model().SingleLoop.MVHigh;
  const double toPercent = mvHigh > 0 ? 100.0 / mvHigh : 1.0;
  std::vector<TrendRow> rows;
  for (const ChartSample& s : TwoPlot1->Samples())
    rows.push_back({s.Time, s.Clock, s.SP, s.PV, s.Output * toPercent});
  return rows;
}

std::vector<analysis::LoopSample> TForm1::StepsShown(const StepSpan& span) const {
  if (!TwoPlot1->Frozen()) return runHost_->History().Between(span);
  std::vector<analysis::LoopSample> steps;
  for (const analysis::LoopSample& step : frozenSteps_) {
    const auto number = static_cast<int64_t>(std::llround(step.t / analysis::kStepTime));
    if (number >= span.First && number <= span.Last) steps.push_back(step);
  }
  return steps;
}

void TForm1::FreezeTrendsToggled(bool frozen) {
  TwoPlot1->SetFrozen(frozen);
  frozenSteps_.clear();
  const TrendTimeline& shown = TwoPlot1->Shown();
  if (frozen && shown.Count() > 0)
    frozenSteps_ = runHost_->History().Between({shown.StepAt(0), shown.StepAt(shown.Count() - 1)});
}

void TForm1::IdentifyAndTuneClick() {
  if (!identifyDialog_) {
    identifyDialog_ = new IdentifyDialog(static_cast<std::size_t>(app_->Panel().PSingle.MaxLength), this);
    connect(identifyDialog_, &IdentifyDialog::fittedResponseChanged, this,
            [this](const QVector<double>& time, const QVector<double>& pv) {
              if (time.isEmpty()) {
                TwoPlot1->HideFittedResponse();
                return;
              }
              // The analysis counts time in steps from the run's start.
              std::vector<StepValue> points;
              points.reserve(static_cast<std::size_t>(time.size()));
              for (qsizetype i = 0; i < time.size(); ++i)
                points.push_back({static_cast<int64_t>(std::llround(time[i] / analysis::kStepTime)), pv[i]});
              TwoPlot1->ShowFittedResponse(std::move(points));
            });
    connect(identifyDialog_, &IdentifyDialog::applyRequested, this, &TForm1::ApplyTuning);
  }
  // The stretch, or else the whole trend window, fitted on every step the
  // charts show there.
  const std::vector<ChartSample> shown = TwoPlot1->Samples();
  std::optional<StepSpan> steps = TwoPlot1->StretchSteps();
  if (!shown.empty()) {
    const StepSpan all{shown.front().Step, shown.back().Step};
    // A stretch whose start the window has dropped is fitted on its part
    // still shown.
    if (!steps) steps = all;
    steps->First = std::max(steps->First, all.First);
    steps->Last = std::min(steps->Last, all.Last);
  }
  // Where the stretch lies: its first and last sample the charts show.
  StretchPlace place;
  bool placed = false;
  for (const ChartSample& s : shown) {
    if (!steps || s.Step < steps->First || s.Step > steps->Last) continue;
    if (!placed) place.TimeFrom = s.Time, place.ClockFrom = s.Clock, placed = true;
    place.TimeTo = s.Time;
    place.ClockTo = s.Clock;
  }
  std::vector<analysis::LoopSample> fitted;
  if (steps) fitted = StepsShown(*steps);
  identifyDialog_->ShowAnalysis(std::make_unique<StretchAnalysis>(std::move(fitted), app_->Model().SingleLoop),
                                place);
  identifyDialog_->SetApplyAllowed(app_->Sim().Run.Active);
  identifyDialog_->show();
  identifyDialog_->raise();
  identifyDialog_->activateWindow();
}

void TForm1::TuningMapClick() {
  if (!tuningMapDialog_) {
    tuningMapDialog_ = new TuningMapDialog(
        [this](const std::string& path, std::string& error) { return app_->WriteCaseCopy(path, error); }, this);
    connect(tuningMapDialog_, &TuningMapDialog::applyRequested, this, &TForm1::ApplyTuning);
  }
  const PIDLoop& loop = app_->Model().SingleLoop;
  tuningMapDialog_->SetCurrentSettings(LoadShared(loop.P), LoadShared(loop.I), LoadShared(loop.D));
  tuningMapDialog_->SetApplyAllowed(app_->Sim().Run.Active);
  tuningMapDialog_->show();
  tuningMapDialog_->raise();
  tuningMapDialog_->activateWindow();
}

void TForm1::ClearStretchClick() {
  TwoPlot1->ClearStretch();
  TwoPlot1->HideFittedResponse();
}

void TForm1::ApplyTuning(const analysis::FormSettings& settings) {
  // The keys go where an operator's would: to the focused edit of the
  // active main window.
  activateWindow();
  QApplication::setActiveWindow(this);
  const OperatorPanel& panel = app_->Panel();
  TypeIntoEdit("PSingle", QString::fromStdString(TypedSetting(settings.P, panel.PSingle.MaxLength)));
  TypeIntoEdit("ISingle", QString::fromStdString(TypedSetting(settings.I, panel.ISingle.MaxLength)));
  TypeIntoEdit("DSingle", QString::fromStdString(TypedSetting(settings.D, panel.DSingle.MaxLength)));
}

void TForm1::TypeIntoEdit(const char* name, const QString& text) {
  auto* edit = findChild<QLineEdit*>(name);
  if (!edit || !edit->isEnabled() || !edit->isVisible()) return;
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
  SendText(edit, text);
  SendEnter(edit);
}

void TForm1::ExportTrendsClick() {
  const std::optional<QString> path =
      prompter_.SaveFile({tr("Export Trends"), {tr("CSV File (*.csv)")}, "csv", SaveDialogStart()});
  if (!path) return;
  std::string error;
  if (!WriteTrendCsv(QFile::encodeName(*path).toStdString(), TrendRows(), error))
    prompter_.Message(MessageTitle(), QString::fromLocal8Bit(error.c_str()), MessageIcon::Error);
}

void TForm1::SaveChartImageClick() {
  const std::optional<QString> path =
      prompter_.SaveFile({tr("Save Chart Image"), {tr("PNG Image (*.png)")}, "png", SaveDialogStart()});
  if (!path) return;
  TwoPlot1->FlushPaint();
  QImageWriter writer(*path, "png");
  if (!writer.write(TwoPlot1->Picture()))
    prompter_.Message(MessageTitle(), tr("Cannot write %1: %2").arg(*path, writer.errorString()),
                      MessageIcon::Error);
}

}  // namespace qx
