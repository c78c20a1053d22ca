#include "opc/OPCServer.h"

#include <cmath>
#include <limits>
#include <utility>
#include <variant>

#include "engine/NumberText.h"
#include "engine/RealText.h"
#include "engine/RunControlCodes.h"
#include "opc/EngineeringUnits.h"
#include "opcua/NodeIds.h"

namespace qx {
namespace {

constexpr const char* kClsid = "{6B1E2F5A-3C47-4D2B-9A0E-5F1C7D2E8B41}";

}  // namespace

GBServerIdentity SimulationServerIdentity(const std::string& endpointUrl) {
  return GBServerIdentity{kClsid,
                          "QxOPCServer",
                          "Quorvanex OPC Server For Simulation (SLAVE)",
                          "Quorvanex.OPC.Simulation.Server.Slave",
                          "1.0",
                          endpointUrl};
}

bool VariantText(const opcua::Variant& value, char separator, std::string& text) {
  if (value.isArray) return false;
  return std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>) {
          text = v ? "True" : "False";
        } else if constexpr (std::is_floating_point_v<T>) {
          text = FormatRealDouble(static_cast<double>(v), separator);
        } else if constexpr (std::is_integral_v<T>) {
          text = std::to_string(v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          text = v;
        } else {
          return false;
        }
        return true;
      },
      value.scalar);
}

opcua::StatusCode TextNumber(std::string_view written, char separator, float& number) {
  std::string text(written);
  if (separator != '.') {
    if (text.find('.') != std::string::npos) return opcua::status::BadTypeMismatch;
    for (char& c : text)
      if (c == separator) c = '.';
  }
  double parsed = 0;
  if (!ParseWholeDecimal(text, parsed)) return opcua::status::BadTypeMismatch;
  if (std::fabs(parsed) > std::numeric_limits<float>::max()) return opcua::status::BadOutOfRange;
  number = static_cast<float>(parsed);
  return opcua::status::Good;
}

COPCServer::COPCServer(LoopModel& model, char decimalSeparator)
    : model_(model), separator_(decimalSeparator) {}

COPCServer::~COPCServer() { GBShutdown(); }

bool COPCServer::InitializeOPC(const std::string& endpointUrl, std::string& error) {
  GBInitialize(SimulationServerIdentity(endpointUrl));
  for (std::size_t position = 0; position < kItemCount; ++position) {
    if (!GBCreateItem(itemHandles_[position], static_cast<uint32_t>(position),
                      std::string(kItemNames[position]), true, "empty")) {
      error = "cannot create the OPC item " + std::string(kItemNames[position]);
      return false;
    }
  }
  if (!analysisItems_.empty() && !GBCreateFolder(kAnalysisFolder)) {
    error = std::string("cannot create the OPC folder ") + kAnalysisFolder;
    return false;
  }
  analysisHandles_.assign(analysisItems_.size(), 0);
  for (std::size_t i = 0; i < analysisItems_.size(); ++i) {
    const AnalysisItem& item = analysisItems_[i];
    if (!GBCreateNumericItem(analysisHandles_[i], kAnalysisFolder, item.Name, item.Description,
                             EngineeringUnits(item.Unit))) {
      error = std::string("cannot create the OPC variable ") + kAnalysisFolder + "." + item.Name;
      return false;
    }
  }
  // The loop object's commands go where the items' writes go.
  loop_ = std::make_unique<LoopObject>(
      [this](LoopCommand command) {
        if (handOff_) handOff_->Post(std::move(command));
      },
      separator_);
  // Until the first publication brings the case's CV range (the model is
  // the GUI thread's; this may run on the start-up thread), PV and SP show
  // the output's 0..100.
  if (!loop_->Create(*GBStack(), GBNamespace(), 0, 100, historyCapacity_, error)) {
    error = "cannot create the OPC loop object: " + error;
    return false;
  }
  if (alarmAnswers_ && !CreateAlarmConditions(error)) {
    error = "cannot create the OPC loop object's alarms: " + error;
    return false;
  }
  GBBeginUpdate();
  GBEndUpdate();
  return GBRegisterClassObject(error);
}

bool COPCServer::CreateAlarmConditions(std::string& error) {
  opcua::Server& stack = *GBStack();
  const opcua::NodeId loop(GBNamespace(), kLoopObjectId);
  // The loop's events reach a client that subscribes on the Server object,
  // on Objects or on the loop itself.
  const opcua::NodeId server(0, opcua::ids::Server), objects(0, opcua::ids::ObjectsFolder);
  if (!stack.AddNotifier(server, objects, error) || !stack.AddNotifier(objects, loop, error)) return false;
  auto alarms = std::make_unique<LoopAlarmConditions>();
  if (!alarms->Add(stack, GBNamespace(), loop, *alarmAnswers_, error)) return false;
  alarms_ = std::move(alarms);
  return true;
}

void COPCServer::PublishAlarms(const std::array<AlarmStatus, kAlarmKindCount>& alarms) {
  if (alarms_) alarms_->Publish(alarms, opcua::DateTime::Now());
}

std::array<std::string, kItemCount> COPCServer::ItemValueTexts(const PanelSnapshot& panel) const {
  const ItemSources sources{model_, panel, separator_, LoadShared(model_.SingleLoop.P),
                            LoadShared(model_.SingleLoop.I)};
  std::array<std::string, kItemCount> texts;
  for (std::size_t position = 0; position < kItemCount; ++position)
    texts[position] = kItems[position].Value(sources);
  return texts;
}

void COPCServer::PublishItemValues(const PanelSnapshot& panel,
                                   std::span<const std::optional<double>> analysis,
                                   const LoopRunValues& run) {
  std::array<std::string, kItemCount> texts = ItemValueTexts(panel);
  GBUpdateBatch batch(*this);
  const opcua::DateTime now = opcua::DateTime::Now();
  for (std::size_t position = 0; position < kItemCount; ++position)
    GBSetItem(itemHandles_[position], std::move(texts[position]), kQualityGood, now);
  if (analysis.size() == analysisHandles_.size())
    for (std::size_t i = 0; i < analysis.size(); ++i) GBSetNumericItem(analysisHandles_[i], analysis[i], now);
  if (loop_) loop_->Publish(*GBStack(), model_, run, now);
}

void COPCServer::PublishLoopRunState(const LoopRunValues& run) {
  if (!loop_) return;
  GBUpdateBatch batch(*this);
  loop_->PublishRunState(*GBStack(), run, opcua::DateTime::Now());
}

void COPCServer::UpdateLoopState(const LoopRunValues& run, bool canStart) {
  if (loop_) loop_->UpdateState(model_, run, canStart);
}

void COPCServer::ClearLoopHistory() {
  if (loop_) loop_->ClearHistory(*GBStack());
}

opcua::StatusCode COPCServer::GBOnWriteVariable(uint32_t variable, opcua::Variant& value) {
  opcua::StatusCode result = opcua::status::BadNotWritable;
  if (loop_) loop_->Write(variable, value, result);
  return result;
}

void COPCServer::GBOnWriteItems(std::vector<GBItemWrite>& writes) {
  for (GBItemWrite& w : writes) {
    if (w.Handle == 0) continue;
    // Items hold texts: the written value is kept as its text.
    std::string text;
    if (!VariantText(w.Value, separator_, text)) {
      w.Result = opcua::status::BadTypeMismatch;
      continue;
    }
    w.Value = opcua::Variant(text);
    if (w.Position != kItemProp && w.Position != kItemIntg) continue;  // no effect on the loop
    // A text that is not a number changes nothing and the client is told.
    float number = 0;
    w.Result = TextNumber(text, separator_, number);
    if (!w.Result.IsGood()) continue;
    const bool gain = w.Position == kItemProp;
    ClientWrite write{gain ? TunedField::Gain : TunedField::Integral, number,
                      gain ? "PSingle" : "ISingle", FormatPattern(number, 6, separator_)};
    // The client is answered Good now; the GUI thread stores the value and
    // the edit text together between two steps of the run.
    if (handOff_)
      handOff_->Post(std::move(write));
    else
      StoreClientWrite(model_, write);
  }
}

}  // namespace qx
