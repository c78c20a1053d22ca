// The 33 OPC items of the simulator, by position: each item's name beside
// the getter of its value text, so that a name and its value cannot drift
// apart. The position is the index into ItemHandles and what the toolkit
// hands back to the write hook.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/LoopModel.h"
#include "engine/NumberText.h"
#include "engine/RealText.h"
#include "engine/RunControlCodes.h"

namespace qx {

// What the publication reads from the operator panel besides the model.
struct PanelSnapshot {
  bool CascadeModeChecked = false;
  std::string_view DLagText;  // the text of the "D Lag" edit
};

// What one publication reads, gathered once: the gain and the integral term
// that client writes may change are loaded once, so that every item showing
// them shows the same value.
struct ItemSources {
  const LoopModel& Model;
  const PanelSnapshot& Panel;
  char Separator;
  float P;
  float I;

  std::string Real(float value) const { return FormatReal(value, Separator); }
  bool Automatic() const { return Model.RunControl.SingleAutoState == FieldCode(LoopMode::Auto); }
};

struct ItemDefinition {
  std::string_view Name;
  std::string (*Value)(const ItemSources&);
};

inline constexpr std::size_t kItemCount = 33;

// The cascade master loop is not run: its items read "0".
inline constexpr std::array<ItemDefinition, kItemCount> kItems = {{
    {"QX_S.PV", [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.PV); }},
    {"QX_S.SP", [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.SP); }},
    {"QX_S.OP", [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.OP); }},
    {"QX_S.MODE",
     [](const ItemSources& s) {
       if (s.Panel.CascadeModeChecked) return std::string("3");
       return FormatInt(s.Model.RunControl.SingleModeCode);
     }},
    {"QX_S.K", [](const ItemSources& s) { return s.Real(s.P); }},
    {"QX_S.T1", [](const ItemSources& s) { return s.Real(s.I); }},
    {"QX_S.T2", [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.D); }},
    {"QX_S.PVEUHI", [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.CVHigh); }},
    {"QX_S.PVEULO", [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.CVLow); }},
    {"QX_C.PV", [](const ItemSources&) { return std::string("0"); }},
    {"QX_C.SP", [](const ItemSources&) { return std::string("0"); }},
    {"QX_C.OP", [](const ItemSources&) { return std::string("0"); }},
    {"QX_C.MODE", [](const ItemSources&) { return std::string("0"); }},
    {"QX_C.K", [](const ItemSources&) { return std::string("0"); }},
    {"QX_C.T1", [](const ItemSources&) { return std::string("0"); }},
    {"QX_C.T2", [](const ItemSources&) { return std::string("0"); }},
    {"QX_C.PVEUHI", [](const ItemSources&) { return std::string("0"); }},
    {"QX_C.PVEULO", [](const ItemSources&) { return std::string("0"); }},
    {"DUMMYTAG.PV", [](const ItemSources&) { return std::string("1"); }},
    {"QX_S.CO", [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.OP); }},
    {"QX_S.KP", [](const ItemSources& s) { return s.Real(s.P); }},
    {"QX_S.KI", [](const ItemSources& s) { return s.Real(s.I); }},
    {"QX_S.KD", [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.D); }},
    {"QX_S.KD_Lag",
     [](const ItemSources& s) {
       return FormatRealDouble(ParseLeadingDecimal(s.Panel.DLagText), s.Separator);
     }},
    {"QX_S.SP.DISPLAY_LIM_HIGH_N",
     [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.CVHigh); }},
    {"QX_S.SP.DISPLAY_LIM_LOW_N",
     [](const ItemSources& s) { return s.Real(s.Model.SingleLoop.CVLow); }},
    {"QX_S.SO", [](const ItemSources& s) { return std::string(s.Automatic() ? "True" : "False"); }},
    {"QX_S.CASCADE", [](const ItemSources&) { return std::string("False"); }},
    {"QX_S.QMAN_AUT", [](const ItemSources& s) { return std::string(s.Automatic() ? "1" : "0"); }},
    {"QX_S.QSPEXTON", [](const ItemSources&) { return std::string("0"); }},
    {"QX_S.AUTO_SD_BYPASS", [](const ItemSources&) { return std::string("1"); }},
    {"QX_S.PROP", [](const ItemSources& s) { return s.Real(s.P); }},
    {"QX_S.INTG", [](const ItemSources& s) { return s.Real(s.I); }},
}};

// The names alone, by position.
inline constexpr std::array<std::string_view, kItemCount> kItemNames = [] {
  std::array<std::string_view, kItemCount> names{};
  for (std::size_t i = 0; i < kItemCount; ++i) names[i] = kItems[i].Name;
  return names;
}();

// The position of an item named in the table (a name that is not there
// does not compile where a constant is required).
consteval std::size_t ItemPosition(std::string_view name) {
  for (std::size_t i = 0; i < kItemCount; ++i)
    if (kItems[i].Name == name) return i;
  throw "no such item";
}

// Positions that a client write acts on.
inline constexpr std::size_t kItemProp = ItemPosition("QX_S.PROP");  // SingleLoop.P
inline constexpr std::size_t kItemIntg = ItemPosition("QX_S.INTG");  // SingleLoop.I

}  // namespace qx
