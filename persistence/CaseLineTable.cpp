#include "persistence/CaseLineTable.h"

#include <vector>

#include "engine/FieldTable.h"
#include "engine/RealText.h"
#include "persistence/CharText.h"

namespace qx {
namespace {

using K = CaseValueKind;
using R = CaseLineRule;

constexpr CaseLine kCaseLines[] = {
    {2, "SingleLoop.P", K::Real, R::Plain},
    {3, "SingleLoop.I", K::Real, R::Plain},
    {4, "SingleLoop.D", K::Real, R::Plain},
    {5, "SingleLoop.ExecPeriod", K::Real, R::Plain},
    {6, "ProcessModel.Order", K::Int, R::Plain},
    {7, "ProcessModel.DelayFlag", K::Int, R::Plain},
    {8, "ProcessModel.Delay", K::Real, R::Plain},
    {9, "ProcessModel.Gain", K::Real, R::Plain},
    {10, "ProcessModel.Tau1", K::Real, R::Plain},
    {11, "DisturbanceModel.Delay", K::Real, R::Plain},
    {12, "DisturbanceModel.Gain", K::Real, R::Plain},
    {13, "DisturbanceModel.Tau1", K::Real, R::Plain},
    {14, "FeedForwardModel.Delay", K::Real, R::Plain},
    {15, "FeedForwardModel.Gain", K::Real, R::Plain},
    {16, "FeedForwardModel.Lead", K::Real, R::Plain},
    {17, "FeedForwardModel.Tau1", K::Real, R::Plain},
    {18, "SmithModel.Delay", K::Real, R::Plain},
    {19, "SmithModel.Gain", K::Real, R::Plain},
    {20, "SmithModel.Tau1", K::Real, R::Plain},
    {21, "SmithModel.DelayFlag", K::Int, R::Plain},
    {22, "SingleLoop.CVHigh", K::Real, R::Plain},
    {23, "SingleLoop.CVLow", K::Real, R::Plain},
    {24, "SingleLoop.MVHigh", K::Real, R::Plain},
    {25, "SingleLoop.MVLow", K::Real, R::Plain},
    {26, "SingleLoop.InitialValveOpening", K::Real, R::Plain},
    {27, "SingleLoop.OPStep", K::Real, R::Plain},
    {28, "SingleLoop.InitialValue", K::Real, R::Plain},
    {29, "SingleLoop.SPNew", K::Real, R::Plain},
    {30, "RunSettings.TimeStep", K::Real, R::Plain},
    {31, "RunSettings.SimTime", K::Real, R::Plain},
    {32, "CaseExtras.Int1", K::Int, R::Plain},
    {33, "CaseExtras.Int2", K::Int, R::Plain},
    {34, "SingleLoop.Equation", K::Int, R::Plain},
    {35, "StepSignal.On", K::Int, R::Plain},
    {36, "PulseSignal.On", K::Int, R::Plain},
    {37, "RampSignal.On", K::Int, R::Plain},
    {38, "SineSignal.On", K::Int, R::Plain},
    {39, "StepSignal.Start", K::Real, R::Plain},
    {40, "StepSignal.End", K::Real, R::Plain},
    {41, "StepSignal.Size", K::Real, R::Plain},
    {42, "RampSignal.Start", K::Real, R::Plain},
    {43, "RampSignal.End", K::Real, R::Plain},
    {44, "RampSignal.Size", K::Real, R::Plain},
    {45, "RampSignal.Option", K::Int, R::Plain},
    {46, "RampSignal.Rate", K::Real, R::Plain},
    {47, "PulseSignal.Start", K::Real, R::Plain},
    {48, "PulseSignal.End", K::Real, R::Plain},
    {49, "PulseSignal.Size", K::Real, R::Plain},
    {50, "PulseSignal.Option", K::Int, R::Plain},
    {51, "PulseSignal.Rate", K::Real, R::Plain},
    {52, "SineSignal.Start", K::Real, R::Plain},
    {53, "SineSignal.End", K::Real, R::Plain},
    {54, "SineSignal.Rate", K::Real, R::Plain},
    {55, "SineSignal.Size", K::Real, R::Plain},
    {56, "SingleLoop.PVNoise", K::Real, R::Plain},
    {57, "RunSettings.DisturbanceNoise", K::Real, R::Plain},
    {58, "CascadeLoop.P", K::Real, R::Plain},
    {59, "CascadeLoop.I", K::Real, R::Plain},
    {60, "CascadeLoop.D", K::Real, R::Plain},
    {61, "CascadeProcessModel.Delay", K::Real, R::Plain},
    {62, "CascadeProcessModel.Gain", K::Real, R::Plain},
    {63, "CascadeProcessModel.Tau1", K::Real, R::Plain},
    {64, "CascadeProcessModel.Tau2", K::Real, R::Plain},
    {65, "CascadeProcessModel.Lead", K::Real, R::Plain},
    {66, "CascadeLoop.CVLow", K::Real, R::Plain},
    {67, "CascadeLoop.CVHigh", K::Real, R::Plain},
    {68, "CascadeLoop.MVLow", K::Real, R::Plain},
    {69, "CascadeLoop.MVHigh", K::Real, R::Plain},
    {70, "CascadeProcessModel.Order", K::Int, R::Plain},
    {71, "CascadeProcessModel.DelayFlag", K::Int, R::Plain},
    {72, "CascadeLoop.InitialValue", K::Real, R::Plain},
    {73, "CascadeLoop.SPNew", K::Real, R::Plain},
    {74, "CascadeLoop.InitialValveOpening", K::Real, R::Plain},
    {75, "CascadeLoop.OPStep", K::Real, R::Plain},
    {76, "SingleLoop.PerfIndexType", K::Char, R::Plain},
    {77, "CascadeLoop.PerfIndexType", K::Char, R::Plain},
    {78, "ProcessModel.Tau2", K::Real, R::Plain},
    {79, "ProcessModel.Tau3", K::Real, R::Plain},
    {80, "CascadeProcessModel.Tau3", K::Real, R::Plain},
    {81, "ProcessModel.Lead", K::Real, R::Plain},
    {82, "SingleLoop.Spare4", K::Real, R::Plain},
    {83, "SingleLoop.SimTime", K::Real, R::Plain},
    {84, "CascadeLoop.Spare4", K::Real, R::Plain},
    {85, "CascadeLoop.SimTime", K::Real, R::Plain},
    {86, "CascadeLoop.ExecPeriod", K::Real, R::Plain},
    {87, "CascadeLoop.Equation", K::Int, R::Plain},
    {88, "CascadeLoop.PVNoise", K::Real, R::Plain},
    {89, "SingleLoop.FilterEntered", K::Real, R::Filter},
    {90, "CascadeLoop.FilterEntered", K::Real, R::Filter},
    {91, "SingleLoop.PVSampleDelay", K::Real, R::Plain},
    {92, "CascadeLoop.PVSampleDelay", K::Real, R::Plain},
    {93, "SingleLoop.SPRateLimit", K::Real, R::Plain},
    {94, "SingleLoop.Spare5", K::Real, R::Plain},
    {95, "SingleLoop.GapHigh", K::Real, R::Plain},
    {96, "SingleLoop.GapLow", K::Real, R::Plain},
    {97, "SingleLoop.Transform", K::Int, R::Plain},
    {98, "SingleLoop.GapGain", K::Real, R::Plain},
    {99, "CascadeLoop.SPRateLimit", K::Real, R::Plain},
    {100, "CascadeLoop.Spare5", K::Real, R::Plain},
    {101, "CascadeLoop.GapHigh", K::Real, R::Plain},
    {102, "CascadeLoop.GapLow", K::Real, R::Plain},
    {103, "CascadeLoop.Transform", K::Int, R::Plain},
    {104, "CascadeLoop.GapGain", K::Real, R::Plain},
    {105, "RunSettings.Setting27", K::Real, R::Plain},
    {106, "ProcessModel.DelayHigh", K::Real, R::Plain},
    {107, "ProcessModel.DelayLow", K::Real, R::Plain},
    {108, "ProcessModel.GainHigh", K::Real, R::Plain},
    {109, "ProcessModel.GainLow", K::Real, R::Plain},
    {110, "ProcessModel.Tau1High", K::Real, R::Plain},
    {111, "ProcessModel.Tau1Low", K::Real, R::Plain},
    {112, "DisturbanceModel.DelayHigh", K::Real, R::Plain},
    {113, "DisturbanceModel.DelayLow", K::Real, R::Plain},
    {114, "DisturbanceModel.GainHigh", K::Real, R::Plain},
    {115, "DisturbanceModel.GainLow", K::Real, R::Plain},
    {116, "DisturbanceModel.Tau1High", K::Real, R::Plain},
    {117, "DisturbanceModel.Tau1Low", K::Real, R::Plain},
    {118, "ProcessModel.DelayAux", K::Real, R::Plain},
    {119, "ProcessModel.GainAux", K::Real, R::Plain},
    {120, "ProcessModel.TauAux", K::Real, R::Plain},
    {121, "DisturbanceModel.DelayAux", K::Real, R::Plain},
    {122, "DisturbanceModel.GainAux", K::Real, R::Plain},
    {123, "DisturbanceModel.TauAux", K::Real, R::Plain},
    {124, "DisturbanceModel2.Delay", K::Real, R::Plain},
    {125, "DisturbanceModel2.Gain", K::Real, R::Plain},
    {126, "DisturbanceModel2.Tau1", K::Real, R::Plain},
    {127, "DisturbanceModel2.DelayHigh", K::Real, R::Plain},
    {128, "DisturbanceModel2.DelayLow", K::Real, R::Plain},
    {129, "DisturbanceModel2.GainHigh", K::Real, R::Plain},
    {130, "DisturbanceModel2.GainLow", K::Real, R::Plain},
    {131, "DisturbanceModel2.Tau1High", K::Real, R::Plain},
    {132, "DisturbanceModel2.Tau1Low", K::Real, R::Plain},
    {133, "RunSettings.DataStart", K::Real, R::Plain},
    {134, "RunSettings.DataLength", K::Real, R::Plain},
    {135, "ProcessModel.GainFlag", K::Int, R::Plain},
    {136, "ProcessModel.TauFlag", K::Int, R::Plain},
    {137, "ProcessModel.Flag4", K::Int, R::Plain},
    {138, "DisturbanceModel.GainFlag", K::Int, R::Plain},
    {139, "DisturbanceModel.TauFlag", K::Int, R::Plain},
    {140, "DisturbanceModel.Flag4", K::Int, R::Plain},
    {141, "DisturbanceModel2.GainFlag", K::Int, R::Plain},
    {142, "DisturbanceModel2.TauFlag", K::Int, R::Plain},
    {143, "DisturbanceModel2.Flag4", K::Int, R::Plain},
    {144, "SingleLoop.Spare1", K::Int, R::Plain},
    {145, "SingleLoop.Spare2", K::Int, R::Plain},
    {146, "SingleLoop.Spare3", K::Int, R::Plain},
    {147, "CascadeLoop.Spare1", K::Int, R::Plain},
    {148, "CascadeLoop.Spare2", K::Int, R::Plain},
    {149, "CascadeLoop.Spare3", K::Int, R::Plain},
    {150, "CaseExtras.Int3", K::Int, R::Plain},
    {151, "CaseExtras.Int4", K::Int, R::Plain},
    {152, "CaseExtras.Int5", K::Int, R::Plain},
    {153, "RunSettings.VectorScale1", K::Real, R::Plain},
    {154, "RunSettings.VectorScale2", K::Real, R::Plain},
    {155, "RunSettings.VectorScale3", K::Real, R::Plain},
    {156, "RunSettings.Setting28", K::Real, R::Plain},
    {157, "ProcessModel.Flag5", K::Int, R::Plain},
    {158, "DisturbanceModel.Flag5", K::Int, R::Plain},
    {159, "DisturbanceModel2.Flag5", K::Int, R::Plain},
    {160, "CaseExtras.FileName1", K::Text, R::BareFileName},
    {161, "DisturbanceModel.Tau2", K::Real, R::Plain},
    {162, "DisturbanceModel2.Tau2", K::Real, R::Plain},
    {163, "CaseExtras.FileName2", K::Text, R::BareFileName},
    {164, "RunControl.LoopConfiguration", K::Int, R::LoopConfiguration},
    {165, "CaseExtras.Int6", K::Int, R::Plain},
    {166, "DisturbanceModel.Lead", K::Real, R::Plain},
    {167, "DisturbanceModel2.Lead", K::Real, R::Plain},
    {168, "CaseExtras.Real1", K::Real, R::Plain},
    {169, "CaseExtras.Real2", K::Real, R::Plain},
    {170, "SingleLoop.Spare6", K::Int, R::Plain},
    {171, "CascadeLoop.Spare6", K::Int, R::Plain},
    {172, "CaseExtras.Real3", K::Real, R::Plain},
    {173, "CaseExtras.Real4", K::Real, R::Plain},
};
static_assert(std::size(kCaseLines) == kCaseValueLines);

constexpr std::string_view kExtrasRecord = "CaseExtras";

struct ExtrasField {
  std::string_view name;
  std::string CaseExtras::*text;
  int32_t CaseExtras::*integer;
  float CaseExtras::*real;
};
const ExtrasField kExtrasFields[] = {
    {"FileName1", &CaseExtras::FileName1, nullptr, nullptr},
    {"FileName2", &CaseExtras::FileName2, nullptr, nullptr},
    {"Int1", nullptr, &CaseExtras::Int1, nullptr},
    {"Int2", nullptr, &CaseExtras::Int2, nullptr},
    {"Int3", nullptr, &CaseExtras::Int3, nullptr},
    {"Int4", nullptr, &CaseExtras::Int4, nullptr},
    {"Int5", nullptr, &CaseExtras::Int5, nullptr},
    {"Int6", nullptr, &CaseExtras::Int6, nullptr},
    {"Real1", nullptr, nullptr, &CaseExtras::Real1},
    {"Real2", nullptr, nullptr, &CaseExtras::Real2},
    {"Real3", nullptr, nullptr, &CaseExtras::Real3},
    {"Real4", nullptr, nullptr, &CaseExtras::Real4},
};

// Where a line's value lives: a field of the loop data model (and, for the
// filter lines, the filter constant beside it) or a member of CaseExtras.
struct Binding {
  const FieldInfo* field = nullptr;
  const FieldInfo* filterConstant = nullptr;
  const ExtrasField* extras = nullptr;
};

Binding Bind(const CaseLine& line) {
  Binding binding;
  std::string_view record = line.name.substr(0, line.name.find('.'));
  std::string_view field = line.name.substr(record.size() + 1);
  if (record == kExtrasRecord) {
    for (const ExtrasField& e : kExtrasFields)
      if (e.name == field) binding.extras = &e;
    return binding;
  }
  binding.field = FindField(line.name);
  if (line.rule == CaseLineRule::Filter)
    binding.filterConstant = FindField(std::string(record) + ".FilterTimeConstant");
  return binding;
}

const std::vector<Binding>& Bindings() {
  static const std::vector<Binding> bindings = [] {
    std::vector<Binding> all;
    for (const CaseLine& line : kCaseLines) all.push_back(Bind(line));
    return all;
  }();
  return bindings;
}

// Typed access to a line's storage; null when the line is bound elsewhere or
// holds another kind.
struct Slot {
  float* real = nullptr;
  int32_t* integer = nullptr;
  char* character = nullptr;
  std::string* text = nullptr;
  float* filterConstant = nullptr;
};

Slot Locate(const CaseLine& line, LoopModel& model, CaseExtras& extras) {
  const Binding& binding = Bindings()[static_cast<std::size_t>(line.number - 2)];
  Slot slot;
  if (binding.extras) {
    const ExtrasField& e = *binding.extras;
    if (e.text) slot.text = &(extras.*e.text);
    if (e.integer) slot.integer = &(extras.*e.integer);
    if (e.real) slot.real = &(extras.*e.real);
  } else if (binding.field) {
    switch (binding.field->kind) {
      case FieldKind::Real: slot.real = &FieldRef<float>(model, *binding.field); break;
      case FieldKind::Int: slot.integer = &FieldRef<int32_t>(model, *binding.field); break;
      case FieldKind::Char: slot.character = &FieldRef<char>(model, *binding.field); break;
      case FieldKind::Bool: break;
    }
    if (binding.filterConstant) slot.filterConstant = &FieldRef<float>(model, *binding.filterConstant);
  }
  return slot;
}

bool SlotMatchesKind(const Slot& slot, const CaseLine& line) {
  switch (line.kind) {
    case CaseValueKind::Real:
      return slot.real && (line.rule != CaseLineRule::Filter || slot.filterConstant);
    case CaseValueKind::Int: return slot.integer != nullptr;
    case CaseValueKind::Char: return slot.character != nullptr;
    case CaseValueKind::Text: return slot.text != nullptr;
  }
  return false;
}

}  // namespace

std::span<const CaseLine> CaseLines() { return kCaseLines; }

bool CheckCaseLineTable(std::string& problem) {
  LoopModel model;
  CaseExtras extras;
  int expected = 2;
  for (const CaseLine& line : kCaseLines) {
    if (line.number != expected++ || !SlotMatchesKind(Locate(line, model, extras), line)) {
      problem = "case line " + std::to_string(line.number) + " (" + std::string(line.name) +
                ") does not name a field of its kind";
      return false;
    }
  }
  return true;
}

std::string_view BareFileName(std::string_view name) {
  std::size_t cut = name.find_last_of("\\:");
  return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

std::string FormatCaseLine(const CaseLine& line, const LoopModel& model, const CaseExtras& extras,
                           char decimalSeparator) {
  // Locate hands out mutable pointers; nothing here writes through them.
  Slot slot = Locate(line, const_cast<LoopModel&>(model), const_cast<CaseExtras&>(extras));
  if (!SlotMatchesKind(slot, line)) return {};
  switch (line.kind) {
    case CaseValueKind::Real: return FormatReal(LoadShared(*slot.real), decimalSeparator);
    case CaseValueKind::Int: return FormatInt(*slot.integer);
    case CaseValueKind::Char: return FormatChar(*slot.character);
    case CaseValueKind::Text: return std::string(BareFileName(*slot.text));
  }
  return {};
}

bool TakeCaseLine(const CaseLine& line, LineCursor& cursor, LoopModel& model, CaseExtras& extras,
                  std::string& failure) {
  Slot slot = Locate(line, model, extras);
  if (!SlotMatchesKind(slot, line)) {
    failure = "case line " + std::to_string(line.number) + " names no field";
    return false;
  }
  switch (line.kind) {
    case CaseValueKind::Real: {
      float value = 0;
      if (!cursor.NextReal(value, failure)) return false;
      StoreShared(*slot.real, value);
      if (line.rule == CaseLineRule::Filter) StoreShared(*slot.filterConstant, value);
      return true;
    }
    case CaseValueKind::Int: {
      int32_t value = 0;
      if (!cursor.NextInt(value, failure)) return false;
      *slot.integer = line.rule == CaseLineRule::LoopConfiguration ? 1 : value;
      return true;
    }
    case CaseValueKind::Char:
      return cursor.NextChar(*slot.character, failure);
    case CaseValueKind::Text:
      return cursor.NextText(*slot.text, failure);
  }
  return false;
}

bool CheckCaseLineText(const CaseLine& line, std::string_view text, char decimalSeparator,
                       std::string& failure) {
  float real = 0;
  int32_t integer = 0;
  char character = 0;
  switch (line.kind) {
    case CaseValueKind::Real: return ParseReal(text, decimalSeparator, real, failure);
    case CaseValueKind::Int: return ParseInt(text, integer, failure);
    case CaseValueKind::Char: return ParseChar(text, character, failure);
    case CaseValueKind::Text: return true;
  }
  return false;
}

}  // namespace qx
