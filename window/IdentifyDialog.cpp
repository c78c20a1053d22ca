#include "window/IdentifyDialog.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qx {
namespace {

using analysis::FittedModel;
using analysis::TuningStatus;

const QString kAbsent = QString::fromUtf8("\u2014");
const QString kBestMark = QString::fromUtf8("\u2713");
constexpr double kLargestKnob = 1e6;

QTableWidget* Table(const char* name, const QStringList& headers, QWidget* parent) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
  table->setObjectName(name);
  table->setHorizontalHeaderLabels(headers);
  table->verticalHeader()->hide();
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

QTableWidgetItem* Cell(const QString& text, const QString& tip = {}) {
  auto* item = new QTableWidgetItem(text);
  if (!tip.isEmpty()) item->setToolTip(tip);
  return item;
}

QString Number(double value) { return QString::number(value, 'g', 4); }
// Times in full: the run's clock reaches five digits.
QString TimeText(double value) { return QString::number(value, 'g', 10); }

QDoubleSpinBox* KnobBox(const char* name, QWidget* parent) {
  auto* box = new QDoubleSpinBox(parent);
  box->setObjectName(name);
  box->setDecimals(2);
  box->setRange(0.01, kLargestKnob);
  box->setSingleStep(0.5);
  box->setKeyboardTracking(false);  // a value counts once it is entered
  return box;
}

}  // namespace

IdentifyDialog::IdentifyDialog(std::size_t settingLength, QWidget* parent)
    : QDialog(parent),
      settingLength_(settingLength),
      stretch_(new QLabel(this)),
      error_(new QLabel(this)),
      models_(Table("ModelTable", {"Model", "Gain", "Dead Time", "Tau1", "Tau2", "R\u00b2", "Best"}, this)),
      closedLoopTime_(KnobBox("ClosedLoopTime", this)),
      lambda_(KnobBox("Lambda", this)),
      form_(new QLabel(this)),
      rules_(Table("RuleTable", {"Rule", "P", "I", "D", "Note"}, this)),
      apply_(new QPushButton("Apply", this)) {
  setObjectName("IdentifyDialog");
  setWindowTitle("Identify and Tune");
  setModal(false);
  stretch_->setObjectName("StretchLabel");
  stretch_->setObjectName("IdentifyStretch");
  error_->setObjectName("IdentifyError");
  error_->setWordWrap(true);
  QPalette red = error_->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  error_->setPalette(red);
  form_->setObjectName("FormLabel");
  apply_->setObjectName("IdentifyApply");
  apply_->setToolTip("Types the chosen rule's settings into P, I and D and presses Enter");
  auto* close = new QPushButton("Close", this);
  close->setObjectName("IdentifyClose");
  // Enter in a knob box takes the value; it must not press a button.
  for (QPushButton* button : {apply_, close}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }

  auto* knobs = new QFormLayout;
  knobs->addRow("SIMC \u03c4c:", closedLoopTime_);
  knobs->addRow("Lambda \u03bb:", lambda_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(apply_);
  buttons->addWidget(close);

  auto* column = new QVBoxLayout(this);
  column->addWidget(stretch_);
  column->addWidget(error_);
  column->addWidget(new QLabel("Models fitted to the stretch (select one for its tunings):", this));
  column->addWidget(models_, 1);
  column->addLayout(knobs);
  column->addWidget(form_);
  column->addWidget(rules_, 1);
  column->addLayout(buttons);
  resize(620, 460);

  connect(models_, &QTableWidget::itemSelectionChanged, this, &IdentifyDialog::ModelChosen);
  connect(rules_, &QTableWidget::itemSelectionChanged, this, &IdentifyDialog::UpdateApply);
  // Each knob the operator enters holds until another model is chosen; the
  // other keeps its default.
  connect(closedLoopTime_, &QDoubleSpinBox::valueChanged, this, [this](double tauC) {
    if (!analysis_) return;
    analysis_->SetClosedLoopTime(tauC);
    ShowSuggestions();
  });
  connect(lambda_, &QDoubleSpinBox::valueChanged, this, [this](double lambda) {
    if (!analysis_) return;
    analysis_->SetLambda(lambda);
    ShowSuggestions();
  });
  connect(apply_, &QPushButton::clicked, this, &IdentifyDialog::ApplyClicked);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
}

IdentifyDialog::~IdentifyDialog() = default;

void IdentifyDialog::ShowAnalysis(std::unique_ptr<StretchAnalysis> analysis, const StretchPlace& place) {
  analysis_ = std::move(analysis);
  const StretchAnalysis& a = *analysis_;
  stretch_->setText(QString("Stretch time %1 .. %2 (run clock t = %3 .. %4), %5 steps")
                        .arg(TimeText(place.TimeFrom), TimeText(place.TimeTo), TimeText(place.ClockFrom),
                             TimeText(place.ClockTo))
                        .arg(a.Steps()));
  error_->setText(QString::fromStdString(a.Identification().Message));
  error_->setVisible(!a.Ok());
  form_->setText(QString("Settings for equation form %1, as the P, I and D edits take them:").arg(a.Equation()));
  ShowModels();
  ModelChosen();
}

void IdentifyDialog::ShowModels() {
  const QSignalBlocker quiet(models_);
  models_->setRowCount(0);
  modelRows_ = analysis_->ModelOrder();
  const auto& fit = analysis_->Identification();
  for (int model : modelRows_) {
    const FittedModel& m = fit.Models[model];
    const int row = models_->rowCount();
    models_->insertRow(row);
    const QString lags = m.Kind == analysis::ModelKind::Integrating
                             ? QString()
                             : QString("time constants %1 and %2").arg(Number(m.Lag1), Number(m.Lag2));
    models_->setItem(row, 0, Cell(analysis::ModelKindName(m.Kind), lags));
    models_->setItem(row, 1, Cell(Number(m.Gain), QString("%1 % of span per % of output").arg(Number(m.PercentGain))));
    models_->setItem(row, 2, Cell(Number(m.DeadTime)));
    models_->setItem(row, 3, Cell(m.Kind == analysis::ModelKind::Integrating ? kAbsent : Number(m.Tau1)));
    models_->setItem(row, 4, Cell(m.Kind == analysis::ModelKind::SecondOrder ? Number(m.Tau2) : kAbsent));
    models_->setItem(row, 5, Cell(QString::number(m.RSquared, 'f', 4)));
    models_->setItem(row, 6, Cell(model == fit.Best ? kBestMark : QString()));
  }
  if (!modelRows_.empty()) models_->selectRow(0);
}

void IdentifyDialog::ModelChosen() {
  const int row = models_->currentRow();
  if (row >= 0 && row < static_cast<int>(modelRows_.size())) analysis_->Choose(modelRows_[row]);
  analysis_->SetClosedLoopTime(std::nullopt);
  analysis_->SetLambda(std::nullopt);
  ShowSuggestions();
  ShowFittedResponse();
}

void IdentifyDialog::ShowSuggestions() {
  const int selectedRule = std::max(rules_->currentRow(), 0);
  suggestions_ = analysis_->Suggestions();
  const QSignalBlocker quietRules(rules_);
  rules_->setRowCount(0);
  for (const RuleSuggestion& s : suggestions_) {
    const int row = rules_->rowCount();
    rules_->insertRow(row);
    rules_->setItem(row, 0, Cell(analysis::TuningRuleName(s.Tuning.Rule)));
    const bool ok = s.Settings.Status == TuningStatus::Ok;
    const QString note = QString::fromStdString(s.Settings.Message);
    const auto setting = [&](double value) {
      return ok ? QString::fromStdString(TypedSetting(value, settingLength_)) : kAbsent;
    };
    rules_->setItem(row, 1, Cell(setting(s.Settings.P)));
    rules_->setItem(row, 2, Cell(setting(s.Settings.I)));
    rules_->setItem(row, 3, Cell(setting(s.Settings.D)));
    rules_->setItem(row, 4, Cell(note, note));
  }
  if (!suggestions_.empty()) rules_->selectRow(std::min(selectedRule, rules_->rowCount() - 1));

  // The knobs show what the rules used: the defaults for the model until
  // the operator enters others.
  const QSignalBlocker quietTauC(closedLoopTime_);
  const QSignalBlocker quietLambda(lambda_);
  for (const RuleSuggestion& s : suggestions_) {
    if (s.Tuning.Status != TuningStatus::Ok) continue;
    if (s.Tuning.Rule == analysis::TuningRule::Simc) closedLoopTime_->setValue(s.Tuning.Knob);
    if (s.Tuning.Rule == analysis::TuningRule::Lambda) lambda_->setValue(s.Tuning.Knob);
  }
  closedLoopTime_->setEnabled(!suggestions_.empty());
  lambda_->setEnabled(!suggestions_.empty());
  UpdateApply();
}

void IdentifyDialog::ShowFittedResponse() {
  QVector<double> time, pv;
  for (const ResponsePoint& p : analysis_->FittedResponse()) {
    time.push_back(p.Time);
    pv.push_back(p.PV);
  }
  emit fittedResponseChanged(time, pv);
}

void IdentifyDialog::SetApplyAllowed(bool allowed) {
  applyAllowed_ = allowed;
  UpdateApply();
}

void IdentifyDialog::UpdateApply() {
  const int row = rules_->currentRow();
  const bool ruleOk = row >= 0 && row < static_cast<int>(suggestions_.size()) &&
                      suggestions_[row].Settings.Status == TuningStatus::Ok;
  apply_->setEnabled(applyAllowed_ && ruleOk);
}

void IdentifyDialog::ApplyClicked() {
  const int row = rules_->currentRow();
  if (row < 0 || row >= static_cast<int>(suggestions_.size())) return;
  if (suggestions_[row].Settings.Status != TuningStatus::Ok) return;
  emit applyRequested(suggestions_[row].Settings);
}

void IdentifyDialog::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  emit fittedResponseChanged({}, {});
}

}  // namespace qx
