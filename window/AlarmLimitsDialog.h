// "Alarm Limits": the loaded case's alarm limits in one small dialog, one
// edit per field (empty: that alarm or limit is off). OK checks every edit
// as the window's other edits are checked (a number in the user's decimal
// separator) and then hands the limits over; a refused value is named with
// its field in a box, and the dialog stays open with what was typed.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

#include "alarms/AlarmLimits.h"

class QLineEdit;

namespace qx {

class AlarmLimitsDialog : public QDialog {
  Q_OBJECT

 public:
  // `apply` takes limits that parsed and returns what it refuses (each
  // naming the field and the value), empty when it took them.
  using Apply = std::function<std::vector<std::string>(const AlarmLimits&)>;
  AlarmLimitsDialog(const AlarmLimits& limits, char separator, Apply apply, QWidget* parent = nullptr);

  // The edit of a field by its key (tests).
  QLineEdit* Edit(const char* key) const;

  void accept() override;

 private:
  // The limits the edits hold; false with the problems named.
  bool Parse(AlarmLimits& limits, QStringList& problems) const;

  char separator_;
  Apply apply_;
  std::vector<std::pair<const AlarmLimitField*, QLineEdit*>> edits_;
};

}  // namespace qx
