#include "ui/OperatorPanel.h"

namespace qx {

EditControl* OperatorPanel::FindEdit(std::string_view name) {
#define QX_MATCH_EDIT(control, filter, length, text) \
  if (name == #control) return &control;
  QX_PANEL_EDITS(QX_MATCH_EDIT)
#undef QX_MATCH_EDIT
  return nullptr;
}

RadioGroup* OperatorPanel::FindRadio(std::string_view name) {
#define QX_MATCH_RADIO(control, count) \
  if (name == #control) return &control;
  QX_PANEL_RADIOS(QX_MATCH_RADIO)
#undef QX_MATCH_RADIO
  return nullptr;
}

bool KeyFilterAccepts(char key) {
  return (key >= '0' && key <= '9') || key == '.' || key == '-' || key == 8 || key == 13;
}

bool TypingAccepted(const EditControl& edit, char key, std::size_t lengthAfter) {
  if (key == 8 || key == 13) return true;
  if (edit.KeyFilter && !KeyFilterAccepts(key)) return false;
  return edit.MaxLength <= 0 || lengthAfter <= static_cast<std::size_t>(edit.MaxLength);
}

std::string DescribePanel(const OperatorPanel& panel) {
  std::string out;
#define QX_DESCRIBE_EDIT(control, filter, length, text) \
  out.append(#control "=").append(panel.control.Text).append("\n");
  QX_PANEL_EDITS(QX_DESCRIBE_EDIT)
#undef QX_DESCRIBE_EDIT
#define QX_DESCRIBE_RADIO(control, count) \
  out.append(#control "=").append(std::to_string(panel.control.ItemIndex)).append("\n");
  QX_PANEL_RADIOS(QX_DESCRIBE_RADIO)
#undef QX_DESCRIBE_RADIO
  return out;
}

}  // namespace qx
