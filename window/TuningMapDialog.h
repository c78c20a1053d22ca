// "Tuning Map": a sweep of the running case over a grid of P and I (and D)
// around the current settings, computed in the background on the cores the
// live run leaves, shown as a map of a chosen index. A click on a cell hands
// its settings to the main window to type into the tuning edits, as "Apply"
// in "Identify and Tune" does. Not modal: the run goes on while it is open.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "analysis/TuningRules.h"
#include "app/SweepRun.h"
#include "app/TuningMapGrid.h"
#include "sweep/SweepMap.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTemporaryDir;

namespace qx {

class TuningMapView;

class TuningMapDialog : public QDialog {
  Q_OBJECT

 public:
  // Writes the running case to a file, the case every point runs. False
  // with the reason.
  using CaseWriter = std::function<bool(const std::string& path, std::string& error)>;

  explicit TuningMapDialog(CaseWriter writeCase, QWidget* parent = nullptr);
  ~TuningMapDialog() override;

  // The grid's fields set to their defaults around the current settings,
  // unless a map is being computed.
  void SetCurrentSettings(double p, double i, double d);
  // A click on a cell types its settings only while the tuning edits take
  // input.
  void SetApplyAllowed(bool allowed);

  bool Computing() const { return worker_.joinable(); }
  // The sweep of the map shown, with its rows; null while there is none.
  const sweep::SweepTable* Table() const { return done_ ? &done_->Table : nullptr; }
  const sweep::HeatMap* Map() const { return map_ ? &*map_ : nullptr; }
  // The copy of the case the points of the last map ran.
  std::string CaseCopyPath() const;
  TuningMapView* View() const { return view_; }

  // "Compute": checks the grid, writes the case copy and starts the sweep.
  void Compute();
  // "Cancel": stops the workers and waits for them; nothing of the
  // unfinished map is kept.
  void Cancel();

 signals:
  // A cell's settings, to be typed into P, I and D.
  void applyRequested(const analysis::FormSettings& settings);
  // The computation ended: a map, an error or a cancel.
  void computationEnded();

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void Run(std::shared_ptr<PreparedSweep> job, int jobs, uint64_t generation);
  void Finished(uint64_t generation, std::shared_ptr<PreparedSweep> job, const std::string& failure,
                const std::string& note);
  void ShowIndex();
  void CellClicked(int ix, int iy);
  void SetComputing(bool computing);
  void ShowStatus(const QString& text, bool error = false);
  void JoinWorker();

  CaseWriter writeCase_;
  bool applyAllowed_ = false;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  uint64_t generation_ = 0;  // of the computation under way; older posts are ignored
  std::unique_ptr<QTemporaryDir> caseFolder_;
  std::shared_ptr<PreparedSweep> done_;
  std::optional<sweep::HeatMap> map_;
  double mapD_ = 0;  // the D of the map's cells

  QLineEdit *pLow_, *pHigh_, *pCount_, *iLow_, *iHigh_, *iCount_, *dLow_, *dHigh_, *dCount_;
  QCheckBox* withD_;
  QComboBox* index_;
  QPushButton *compute_, *cancelButton_;
  QProgressBar* progress_;
  QLabel* status_;
  TuningMapView* view_;
};

}  // namespace qx
