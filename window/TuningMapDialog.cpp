#include "window/TuningMapDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <cmath>
#include <exception>

#include "app/LoopAnalysis.h"
#include "engine/FieldTable.h"
#include "window/TuningMapView.h"

namespace qx {
namespace {

// The case file every point of a map runs, in a folder of its own.
constexpr const char* kCaseCopyName = "tuning-map.pid";
// The index a new map shows.
constexpr const char* kFirstIndex = "IAE";
// Edits wide enough for "123.456" and the counts.
constexpr int kEditChars = 8;

QLineEdit* GridEdit(const char* name, const QString& tip, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setToolTip(tip);
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QString(kEditChars, '0')) + 12);
  return edit;
}

const FieldInfo* TuningField(const char* name) { return FindField(std::string("SingleLoop.") + name); }

}  // namespace

TuningMapDialog::TuningMapDialog(CaseWriter writeCase, QWidget* parent)
    : QDialog(parent),
      writeCase_(std::move(writeCase)),
      pLow_(GridEdit("MapPLow", tr("The smallest P of the grid"), this)),
      pHigh_(GridEdit("MapPHigh", tr("The largest P of the grid"), this)),
      pCount_(GridEdit("MapPCount", tr("How many values of P, evenly spaced"), this)),
      iLow_(GridEdit("MapILow", tr("The smallest I of the grid"), this)),
      iHigh_(GridEdit("MapIHigh", tr("The largest I of the grid"), this)),
      iCount_(GridEdit("MapICount", tr("How many values of I, evenly spaced"), this)),
      dLow_(GridEdit("MapDLow", tr("The smallest D of the grid"), this)),
      dHigh_(GridEdit("MapDHigh", tr("The largest D of the grid"), this)),
      dCount_(GridEdit("MapDCount", tr("How many values of D, evenly spaced"), this)),
      withD_(new QCheckBox(tr("D"), this)),
      index_(new QComboBox(this)),
      compute_(new QPushButton(tr("Compute"), this)),
      cancelButton_(new QPushButton(tr("Cancel"), this)),
      progress_(new QProgressBar(this)),
      status_(new QLabel(this)),
      view_(new TuningMapView(this)) {
  setObjectName("TuningMapDialog");
  setWindowTitle(tr("Tuning Map"));
  setModal(false);
  withD_->setObjectName("MapWithD");
  withD_->setToolTip(tr("Sweep D too; the map shows the D nearest to the current one"));
  index_->setObjectName("MapIndex");
  index_->setToolTip(tr("The index the map colours"));
  compute_->setObjectName("MapCompute");
  compute_->setToolTip(tr("Run the case once per grid point in the background and draw the map"));
  cancelButton_->setObjectName("MapCancel");
  cancelButton_->setToolTip(tr("Stop the computation; the unfinished map is dropped"));
  progress_->setObjectName("MapProgress");
  status_->setObjectName("MapStatus");
  status_->setWordWrap(true);
  status_->setMinimumWidth(200);
  auto* close = new QPushButton(tr("Close"), this);
  close->setObjectName("MapClose");
  // Enter in a grid edit computes; it must not close the dialog.
  for (QPushButton* button : {compute_, cancelButton_, close}) button->setAutoDefault(false);
  compute_->setDefault(true);
  cancelButton_->setEnabled(false);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(tr("from"), this), 0, 1);
  grid->addWidget(new QLabel(tr("to"), this), 0, 2);
  grid->addWidget(new QLabel(tr("values"), this), 0, 3);
  const struct {
    QWidget* name;
    QLineEdit *low, *high, *count;
  } rows[] = {{new QLabel(tr("P"), this), pLow_, pHigh_, pCount_},
              {new QLabel(tr("I"), this), iLow_, iHigh_, iCount_},
              {withD_, dLow_, dHigh_, dCount_}};
  int row = 1;
  for (const auto& r : rows) {
    grid->addWidget(r.name, row, 0);
    grid->addWidget(r.low, row, 1);
    grid->addWidget(r.high, row, 2);
    grid->addWidget(r.count, row, 3);
    ++row;
  }
  auto* gridBox = new QGroupBox(tr("Grid"), this);
  gridBox->setLayout(grid);
  auto* indexRow = new QHBoxLayout;
  indexRow->addWidget(new QLabel(tr("Index:"), this));
  indexRow->addWidget(index_, 1);
  auto* runRow = new QHBoxLayout;
  runRow->addWidget(compute_);
  runRow->addWidget(cancelButton_);
  auto* side = new QVBoxLayout;
  side->addWidget(gridBox);
  side->addLayout(indexRow);
  side->addLayout(runRow);
  side->addWidget(progress_);
  side->addWidget(status_);
  side->addStretch(1);
  side->addWidget(new QLabel(tr("Click a cell to apply its settings."), this));
  side->addWidget(close, 0, Qt::AlignRight);
  auto* columns = new QHBoxLayout(this);
  columns->addLayout(side);
  columns->addWidget(view_, 1);
  resize(780, 500);

  for (const IndexValue& index : IndexValues(analysis::PerformanceResults{})) index_->addItem(index.name);
  index_->setCurrentText(kFirstIndex);
  for (QLineEdit* d : {dLow_, dHigh_, dCount_}) d->setEnabled(false);
  connect(withD_, &QCheckBox::toggled, this, [this](bool on) {
    for (QLineEdit* d : {dLow_, dHigh_, dCount_}) d->setEnabled(on && !Computing());
  });
  connect(index_, &QComboBox::currentTextChanged, this, &TuningMapDialog::ShowIndex);
  connect(compute_, &QPushButton::clicked, this, &TuningMapDialog::Compute);
  connect(cancelButton_, &QPushButton::clicked, this, &TuningMapDialog::Cancel);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(view_, &TuningMapView::cellClicked, this, &TuningMapDialog::CellClicked);
  view_->ShowMap(nullptr, tr("Set the grid and press Compute."));
}

TuningMapDialog::~TuningMapDialog() {
  cancel_.store(true);
  JoinWorker();
}

void TuningMapDialog::SetCurrentSettings(double p, double i, double d) {
  if (Computing()) return;
  const TuningMapGridText grid = DefaultTuningMapGrid(p, i, d);
  const auto set = [](QLineEdit* low, QLineEdit* high, QLineEdit* count, const TuningRangeText& range) {
    low->setText(QString::fromStdString(range.Low));
    high->setText(QString::fromStdString(range.High));
    count->setText(QString::fromStdString(range.Count));
  };
  set(pLow_, pHigh_, pCount_, grid.P);
  set(iLow_, iHigh_, iCount_, grid.I);
  set(dLow_, dHigh_, dCount_, grid.D);
}

void TuningMapDialog::SetApplyAllowed(bool allowed) { applyAllowed_ = allowed; }

std::string TuningMapDialog::CaseCopyPath() const {
  return caseFolder_ ? QDir(caseFolder_->path()).filePath(kCaseCopyName).toStdString() : std::string();
}

void TuningMapDialog::Compute() {
  if (Computing()) return;
  const auto text = [](const QLineEdit* e) { return e->text().trimmed().toStdString(); };
  TuningMapGridText typed;
  typed.P = {text(pLow_), text(pHigh_), text(pCount_)};
  typed.I = {text(iLow_), text(iHigh_), text(iCount_)};
  typed.D = {text(dLow_), text(dHigh_), text(dCount_)};
  typed.WithD = withD_->isChecked();
  SweepRequest request;
  std::string error;
  if (!ReadTuningMapGrid(typed, request.Axes, error)) {
    ShowStatus(QString::fromStdString(error), true);
    return;
  }
  for (const sweep::GridAxis& axis : request.Axes) request.Fields.push_back(TuningField(axis.Name.c_str()));

  // The running case as it is now, for every point.
  auto folder = std::make_unique<QTemporaryDir>();
  if (!folder->isValid()) {
    ShowStatus(tr("Cannot make a folder for the case copy: %1").arg(folder->errorString()), true);
    return;
  }
  caseFolder_ = std::move(folder);
  request.Run.CasePath = CaseCopyPath();
  if (!writeCase_(request.Run.CasePath, error)) {
    ShowStatus(tr("Cannot write the case copy %1: %2")
                   .arg(QString::fromStdString(request.Run.CasePath), QString::fromStdString(error)),
               true);
    return;
  }
  auto job = std::make_shared<PreparedSweep>();
  if (!PrepareSweep(request, *job, error)) {
    ShowStatus(QString::fromStdString(error).trimmed(), true);
    return;
  }
  // The D a cell applies: without a D axis the case's own, with one the
  // value of the slice shown, the nearest to the case's.
  if (typed.WithD) {
    const sweep::GridAxis& d = request.Axes[2];
    const double caseD = job->Table.CaseValues[2];
    mapD_ = d.Value(0);
    for (int64_t k = 1; k < d.Count; ++k)
      if (std::fabs(d.Value(k) - caseD) < std::fabs(mapD_ - caseD)) mapD_ = d.Value(k);
  } else {
    const CaseProbe probe = ProbeCase(job->Run, {TuningField("D")});
    mapD_ = probe.FieldValues.empty() ? 0 : probe.FieldValues[0];
  }
  done_.reset();
  map_.reset();
  view_->MarkChosen(std::nullopt);
  view_->ShowMap(nullptr, tr("Computing..."));
  cancel_.store(false);
  const int64_t points = job->Table.TheGrid.PointCount();
  progress_->setRange(0, static_cast<int>(points));
  progress_->setValue(0);
  ShowStatus(tr("%1 runs of %2 steps on %n thread(s)", nullptr, JobsBesideLiveRun())
                 .arg(points)
                 .arg(job->Run.Steps.value_or(0)));
  SetComputing(true);
  const uint64_t generation = ++generation_;
  const int jobs = JobsBesideLiveRun();
  worker_ = std::thread([this, job, jobs, generation] { Run(job, jobs, generation); });
}

void TuningMapDialog::Run(std::shared_ptr<PreparedSweep> job, int jobs, uint64_t generation) {
  // Runs on the worker thread; what it gives reaches the dialog through
  // queued calls, which Qt drops once the dialog is gone.
  std::string failure, note;
  try {
    // A map at the normal priority is still a map: the failure is a note.
    LowerThreadPriority(note);
    const sweep::PoolResult pool =
        RunSweep(*job, 0, job->Table.TheGrid.PointCount(), jobs, cancel_, [this, generation](int64_t done, int64_t) {
          QMetaObject::invokeMethod(
              this,
              [this, generation, done] {
                if (generation == generation_) progress_->setValue(static_cast<int>(done));
              },
              Qt::QueuedConnection);
        });
    failure = pool.FirstError;
  } catch (const std::exception& e) {
    failure = std::string("the tuning map failed: ") + e.what();
  } catch (...) {
    failure = "the tuning map failed: unknown exception";
  }
  QMetaObject::invokeMethod(
      this, [this, generation, job, failure, note] { Finished(generation, job, failure, note); },
      Qt::QueuedConnection);
}

void TuningMapDialog::Finished(uint64_t generation, std::shared_ptr<PreparedSweep> job, const std::string& failure,
                               const std::string& note) {
  if (generation != generation_ || !Computing()) return;  // cancelled meanwhile
  JoinWorker();
  SetComputing(false);
  if (cancel_.load()) {
    view_->ShowMap(nullptr, tr("Cancelled."));
    ShowStatus(tr("Cancelled."));
  } else if (!failure.empty()) {
    view_->ShowMap(nullptr, tr("No map."));
    ShowStatus(QString::fromStdString(failure).trimmed(), true);
  } else {
    done_ = std::move(job);
    ShowIndex();
    ShowStatus(note.empty() ? tr("Done: %1 points.").arg(done_->Table.Rows.size())
                            : tr("Done: %1 points. %2").arg(done_->Table.Rows.size()).arg(QString::fromStdString(note)));
  }
  emit computationEnded();
}

void TuningMapDialog::ShowIndex() {
  if (!done_) return;
  sweep::HeatMap map;
  std::string error;
  if (!sweep::BuildHeatMap(done_->Table, index_->currentText().toStdString(), map, error)) {
    map_.reset();
    view_->ShowMap(nullptr, QString::fromStdString(error));
    return;
  }
  map_ = std::move(map);
  view_->ShowMap(&*map_);
}

void TuningMapDialog::CellClicked(int ix, int iy) {
  if (!map_) return;
  if (!applyAllowed_) {
    ShowStatus(tr("The settings are applied to a running loop: start a run first."), true);
    return;
  }
  analysis::FormSettings settings;
  settings.P = map_->X[static_cast<std::size_t>(ix)];
  settings.I = map_->Y[static_cast<std::size_t>(iy)];
  settings.D = mapD_;
  view_->MarkChosen(std::pair{ix, iy});
  ShowStatus(tr("Applied P = %1, I = %2, D = %3.")
                 .arg(QString::number(settings.P, 'g', 6), QString::number(settings.I, 'g', 6),
                      QString::number(settings.D, 'g', 6)));
  emit applyRequested(settings);
}

void TuningMapDialog::Cancel() {
  if (!Computing()) return;
  cancel_.store(true);
  // The points under way stop at their next step: the wait is short.
  JoinWorker();
  ++generation_;  // the posts of the stopped computation are ignored
  SetComputing(false);
  progress_->setValue(0);
  done_.reset();
  map_.reset();
  view_->ShowMap(nullptr, tr("Cancelled."));
  ShowStatus(tr("Cancelled."));
  emit computationEnded();
}

void TuningMapDialog::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void TuningMapDialog::SetComputing(bool computing) {
  compute_->setEnabled(!computing);
  cancelButton_->setEnabled(computing);
  for (QLineEdit* edit : {pLow_, pHigh_, pCount_, iLow_, iHigh_, iCount_})
    edit->setEnabled(!computing);
  withD_->setEnabled(!computing);
  for (QLineEdit* d : {dLow_, dHigh_, dCount_}) d->setEnabled(!computing && withD_->isChecked());
  if (!computing) progress_->setValue(progress_->maximum());
}

void TuningMapDialog::ShowStatus(const QString& text, bool error) {
  QPalette palette = status_->palette();
  palette.setColor(QPalette::WindowText, error ? Qt::red : this->palette().color(QPalette::WindowText));
  status_->setPalette(palette);
  status_->setText(text);
}

void TuningMapDialog::hideEvent(QHideEvent* event) {
  // A map nobody sees is not worth the cores.
  Cancel();
  QDialog::hideEvent(event);
}

}  // namespace qx
