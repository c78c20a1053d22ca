// Binds the window's edits and radio groups to the slots of the operator
// panel, so that the window and the headless runner run the same panel
// logic: what the operator types goes into the panel at once (limited by
// the panel's typing rules), and ShowPanel writes back whatever the logic
// changed. The focus colours and the pending change on leaving the set-point
// or output edit live here too, as they belong to every bound edit.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/LoopModel.h"
#include "ui/OperatorPanel.h"

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QWidget;

namespace qx {

class PanelBinding : public QObject {
  Q_OBJECT

 public:
  PanelBinding(OperatorPanel& panel, LoopModel& model, QObject* parent);
  ~PanelBinding() override;

  // A new edit named after its panel slot `name` and bound to it.
  QLineEdit* Edit(std::string_view name, QWidget* parent);

  // A new group box `caption` of radio buttons bound to the panel's radio
  // group `name`, laid out in `columns` columns (filled column by column).
  QGroupBox* Radios(std::string_view name, const QString& caption, const QStringList& items,
                    int columns, QWidget* parent);

  // The panel's edits and radio groups into their widgets; only what
  // changed since the last call is written, as this runs at every step.
  void ShowPanel();

  // Called after each operator change of a bound control (text typed,
  // radio item chosen, focus left), for the window to show the panel.
  void SetChanged(std::function<void()> changed) { changed_ = std::move(changed); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct BoundEdit;
  struct BoundRadio;
  BoundEdit* FindBound(QObject* widget);
  bool TypedKey(BoundEdit& bound, QEvent* event);
  void FocusEntered(BoundEdit& bound);
  void FocusLeft(BoundEdit& bound);

  OperatorPanel& panel_;
  LoopModel& model_;
  std::vector<std::unique_ptr<BoundEdit>> edits_;
  std::vector<std::unique_ptr<BoundRadio>> radios_;
  std::function<void()> changed_;
};

}  // namespace qx
