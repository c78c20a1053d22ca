#include "window/PanelBinding.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <stdexcept>

#include "ui/PanelLogic.h"

namespace qx {

struct PanelBinding::BoundEdit {
  std::string Name;
  EditControl* Control;
  QLineEdit* Widget;
  std::string Shown;  // the text last written to or typed into the widget
  bool ShownEnabled;
  bool ShownVisible;  // the layouts of the window may hide an edit as well
};

struct PanelBinding::BoundRadio {
  RadioGroup* Group;
  QButtonGroup* Buttons;
  int Shown;
};

namespace {

const QColor kFocusBackground(0xFF, 0xFF, 0x00);
const QColor kFocusText(0x00, 0x00, 0xFF);

// The focus colours of an enabled edit; a disabled one keeps the style's
// disabled colours, so it looks as unusable as it is.
void SetEditColours(QLineEdit* edit, const QColor& background, const QColor& text) {
  QPalette palette = edit->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Base, background);
    palette.setColor(group, QPalette::Text, text);
  }
  edit->setPalette(palette);
}

void ShowSelection(QButtonGroup* buttons, int index) {
  if (QAbstractButton* button = buttons->button(index)) {
    button->setChecked(true);
    return;
  }
  // No selection: an exclusive group cannot uncheck its checked button.
  buttons->setExclusive(false);
  for (QAbstractButton* button : buttons->buttons()) button->setChecked(false);
  buttons->setExclusive(true);
}

}  // namespace

PanelBinding::PanelBinding(OperatorPanel& panel, LoopModel& model, QObject* parent)
    : QObject(parent), panel_(panel), model_(model) {}

PanelBinding::~PanelBinding() = default;

QLineEdit* PanelBinding::Edit(std::string_view name, QWidget* parent) {
  EditControl* control = panel_.FindEdit(name);
  if (!control)
    throw std::logic_error("PanelBinding::Edit: the operator panel has no edit named " +
                           std::string(name));
  auto* widget = new QLineEdit(QString::fromStdString(control->Text), parent);
  widget->setObjectName(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
  SetEditColours(widget, Qt::white, widget->palette().color(QPalette::WindowText));
  widget->installEventFilter(this);

  auto bound = std::make_unique<BoundEdit>(
      BoundEdit{std::string(name), control, widget, control->Text, control->Enabled, control->Visible});
  widget->setEnabled(control->Enabled);
  BoundEdit* raw = bound.get();
  edits_.push_back(std::move(bound));
  // Operator edits only (typing, pasting); texts the program sets are not
  // read back.
  connect(widget, &QLineEdit::textEdited, this, [this, raw](const QString& text) {
    raw->Control->Text = raw->Shown = text.toStdString();
    if (changed_) changed_();
  });
  return widget;
}

QGroupBox* PanelBinding::Radios(std::string_view name, const QString& caption,
                                const QStringList& items, int columns, QWidget* parent) {
  RadioGroup* group = panel_.FindRadio(name);
  if (!group)
    throw std::logic_error("PanelBinding::Radios: the operator panel has no radio group named " +
                           std::string(name));
  auto* box = new QGroupBox(caption, parent);
  box->setObjectName(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(2);
  auto* buttons = new QButtonGroup(box);
  const int rows = (items.size() + columns - 1) / columns;
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], box);
    grid->addWidget(button, i % rows, i / rows);
    buttons->addButton(button, i);
  }
  ShowSelection(buttons, group->ItemIndex);

  auto bound = std::make_unique<BoundRadio>(BoundRadio{group, buttons, group->ItemIndex});
  BoundRadio* raw = bound.get();
  radios_.push_back(std::move(bound));
  connect(buttons, &QButtonGroup::idClicked, this, [this, raw](int id) {
    raw->Group->ItemIndex = raw->Shown = id;
    if (changed_) changed_();
  });
  return box;
}

void PanelBinding::ShowPanel() {
  for (const auto& bound : edits_) {
    const EditControl& control = *bound->Control;
    if (control.Text != bound->Shown) {
      bound->Shown = control.Text;
      bound->Widget->setText(QString::fromStdString(control.Text));
    }
    if (control.Enabled != bound->ShownEnabled) bound->Widget->setEnabled(bound->ShownEnabled = control.Enabled);
    if (control.Visible != bound->ShownVisible) bound->Widget->setVisible(bound->ShownVisible = control.Visible);
  }
  for (const auto& bound : radios_) {
    if (bound->Group->ItemIndex != bound->Shown) {
      bound->Shown = bound->Group->ItemIndex;
      ShowSelection(bound->Buttons, bound->Shown);
    }
  }
}

PanelBinding::BoundEdit* PanelBinding::FindBound(QObject* widget) {
  for (const auto& bound : edits_)
    if (bound->Widget == widget) return bound.get();
  return nullptr;
}

bool PanelBinding::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::FocusIn && type != QEvent::FocusOut)
    return QObject::eventFilter(watched, event);
  BoundEdit* bound = FindBound(watched);
  if (!bound) return QObject::eventFilter(watched, event);
  if (type == QEvent::KeyPress) return TypedKey(*bound, event);
  // Another window or a popup taking the focus is no leaving of the edit:
  // the focus comes back to it.
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
    return QObject::eventFilter(watched, event);
  if (type == QEvent::FocusIn) FocusEntered(*bound);
  if (type == QEvent::FocusOut) FocusLeft(*bound);
  return QObject::eventFilter(watched, event);
}

// A typed character passes only when the panel's typing rules take it; keys
// without a character (arrows, Home) and shortcuts (Ctrl+V) pass as they are.
bool PanelBinding::TypedKey(BoundEdit& bound, QEvent* event) {
  const auto* key = static_cast<QKeyEvent*>(event);
  const QString text = key->text();
  if (text.size() != 1) return false;
  const QChar typed = text.at(0);
  const bool editingKey = typed.unicode() == 8 || typed.unicode() == 13;
  if (!editingKey && (typed.unicode() < 0x20 || (key->modifiers() & Qt::ControlModifier)))
    return false;
  const qsizetype length = bound.Widget->text().size() - bound.Widget->selectedText().size() + 1;
  const char ascii = typed.unicode() < 0x80 ? static_cast<char>(typed.unicode()) : '\x7f';
  return !TypingAccepted(*bound.Control, ascii, static_cast<std::size_t>(length));
}

void PanelBinding::FocusEntered(BoundEdit& bound) {
  SetEditColours(bound.Widget, kFocusBackground, kFocusText);
}

void PanelBinding::FocusLeft(BoundEdit& bound) {
  SetEditColours(bound.Widget, Qt::white, QApplication::palette().color(QPalette::WindowText));
  LeaveEdit(model_, bound.Name);
  if (changed_) changed_();
}

}  // namespace qx
