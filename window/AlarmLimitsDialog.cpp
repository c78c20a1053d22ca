#include "window/AlarmLimitsDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QVBoxLayout>
#include <cstring>

#include "app/AppHost.h"

namespace qx {
namespace {

// What each field is called on the screen.
QString Caption(const char* key) {
  struct Name {
    const char* Key;
    const char* Text;
  };
  static const Name kNames[] = {
      {"pv.highhigh", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "PV high-high limit")},
      {"pv.high", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "PV high limit")},
      {"pv.low", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "PV low limit")},
      {"pv.lowlow", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "PV low-low limit")},
      {"pv.deadband", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "PV deadband")},
      {"pv.severity", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "Severity of high and low")},
      {"pv.severity.extreme", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "Severity of high-high and low-low")},
      {"deviation.limit", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "Deviation |SP-PV| limit")},
      {"deviation.delay", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "Deviation delay")},
      {"deviation.deadband", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "Deviation deadband")},
      {"deviation.severity", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "Deviation severity")},
      {"saturation.delay", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "OP saturation delay")},
      {"saturation.deadband", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "OP saturation deadband (%)")},
      {"saturation.severity", QT_TRANSLATE_NOOP("qx::AlarmLimitsDialog", "OP saturation severity")},
  };
  for (const Name& name : kNames) {
    if (std::strcmp(name.Key, key) == 0) return QCoreApplication::translate("qx::AlarmLimitsDialog", name.Text);
  }
  return QString::fromLatin1(key);
}

bool OffAble(const AlarmLimitField& field) {
  return std::holds_alternative<std::optional<double> AlarmLimits::*>(field.Member);
}

}  // namespace

AlarmLimitsDialog::AlarmLimitsDialog(const AlarmLimits& limits, char separator, Apply apply, QWidget* parent)
    : QDialog(parent), separator_(separator), apply_(std::move(apply)) {
  setObjectName("AlarmLimitsDialog");
  setWindowTitle(tr("Alarm Limits"));
  auto* column = new QVBoxLayout(this);
  auto* note = new QLabel(tr("Limits in the CV's units, delays in run time units; an empty limit is off. "
                             "Saved with the case, in a file beside it named after it with .alarms added."),
                          this);
  note->setWordWrap(true);
  column->addWidget(note);
  auto* form = new QFormLayout;
  for (const AlarmLimitField& field : AlarmLimitFields()) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString("AlarmLimit_") + field.Key);
    QString text = QString::fromStdString(AlarmFieldText(limits, field));
    if (separator_ != '.') text.replace('.', QChar(separator_));
    edit->setText(text);
    edit->setToolTip(QString::fromLatin1(field.Key));
    if (OffAble(field)) edit->setPlaceholderText(tr("off"));
    form->addRow(Caption(field.Key), edit);
    edits_.emplace_back(&field, edit);
  }
  column->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &AlarmLimitsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AlarmLimitsDialog::reject);
  column->addWidget(buttons);
}

QLineEdit* AlarmLimitsDialog::Edit(const char* key) const {
  for (const auto& [field, edit] : edits_) {
    if (std::strcmp(field->Key, key) == 0) return edit;
  }
  return nullptr;
}

bool AlarmLimitsDialog::Parse(AlarmLimits& limits, QStringList& problems) const {
  for (const auto& [field, edit] : edits_) {
    const QString typed = edit->text().trimmed();
    const QString name = Caption(field->Key);
    if (typed.isEmpty()) {
      if (OffAble(*field)) {
        SetAlarmField(limits, *field, std::nullopt);
      } else {
        problems << tr("%1: a value is needed").arg(name);
      }
      continue;
    }
    // The user's separator, as in the window's other edits; the other one
    // is refused rather than guessed.
    QString text = typed;
    if (separator_ != '.') {
      if (text.contains('.')) {
        problems << tr("%1 = %2: not a number").arg(name, typed);
        continue;
      }
      text.replace(QChar(separator_), '.');
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok) {
      problems << tr("%1 = %2: not a number").arg(name, typed);
      continue;
    }
    SetAlarmField(limits, *field, value);
  }
  return problems.isEmpty();
}

void AlarmLimitsDialog::accept() {
  AlarmLimits limits;
  QStringList problems;
  if (Parse(limits, problems)) {
    for (const std::string& refused : apply_(limits)) problems << QString::fromStdString(refused);
  }
  if (!problems.isEmpty()) {
    QMessageBox::warning(this, QString::fromUtf8(kMessageTitle.data(), static_cast<int>(kMessageTitle.size())),
                         tr("Alarm limits not taken:") + "\n" + problems.join('\n'));
    return;
  }
  QDialog::accept();
}

}  // namespace qx
