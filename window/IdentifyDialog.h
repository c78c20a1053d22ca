// "Identify and Tune": the models fitted to a stretch of the trends, the
// tuning rules' settings for the chosen model in the loop's equation form,
// and "Apply", which hands the chosen rule's settings to the main window to
// type into the tuning edits. Not modal: the run goes on while it is open.
#pragma once

#include <QDialog>
#include <QVector>
#include <memory>

#include "analysis/TuningRules.h"
#include "app/StretchIdentification.h"

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace qx {

// Where a stretch lies: the charts' times of its first and last sample and
// the run's clock at them.
struct StretchPlace {
  double TimeFrom = 0, TimeTo = 0;
  double ClockFrom = 0, ClockTo = 0;
};

class IdentifyDialog : public QDialog {
  Q_OBJECT

 public:
  // `settingLength` is the most characters a tuning edit takes: the
  // settings are shown as they will be typed.
  IdentifyDialog(std::size_t settingLength, QWidget* parent = nullptr);
  ~IdentifyDialog() override;

  // Shows the analysis of a new stretch, the best model chosen.
  void ShowAnalysis(std::unique_ptr<StretchAnalysis> analysis, const StretchPlace& place);
  const StretchAnalysis* Analysis() const { return analysis_.get(); }

  // "Apply" is offered only while the tuning edits take input.
  void SetApplyAllowed(bool allowed);

 signals:
  // The chosen model's response to draw over the PV trend, at the steps'
  // times since the run's start (the analysis's own time); empty vectors
  // when there is none.
  void fittedResponseChanged(const QVector<double>& time, const QVector<double>& pv);
  // "Apply" with the chosen rule's settings.
  void applyRequested(const analysis::FormSettings& settings);

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowModels();
  void ShowSuggestions();
  void ShowFittedResponse();
  void ModelChosen();
  void ApplyClicked();
  void UpdateApply();

  std::size_t settingLength_;
  std::unique_ptr<StretchAnalysis> analysis_;
  std::vector<int> modelRows_;  // model index of each row of the model table
  std::vector<RuleSuggestion> suggestions_;
  bool applyAllowed_ = false;

  QLabel* stretch_;
  QLabel* error_;
  QTableWidget* models_;
  QDoubleSpinBox* closedLoopTime_;
  QDoubleSpinBox* lambda_;
  QLabel* form_;
  QTableWidget* rules_;
  QPushButton* apply_;
};

}  // namespace qx
