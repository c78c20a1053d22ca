// The simulator's OPC server: the 33 items, their creation, the publication
// of the loop's values at every trend sample, the client-write hook that
// changes the single loop's gain and integral term, and the loop object
// with its typed variables, operator writes, methods, history and the
// loop's alarms as conditions.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/LoopModel.h"
#include "opc/ClientWriteHandOff.h"
#include "opc/GBDataAccess.h"
#include "opc/ItemTable.h"
#include "opc/LoopAlarmConditions.h"
#include "opc/LoopObject.h"

namespace qx {

// The folder of Objects, beside the item folder, that holds the loop's
// performance indices as read-only Double variables.
inline constexpr const char* kAnalysisFolder = "Analysis";

// One read-only figure under kAnalysisFolder as clients find it.
struct AnalysisItem {
  std::string Name;         // the browse name, "<kAnalysisFolder>.<Name>" the id
  std::string Description;  // the variable's Description
  std::string Unit;         // "%" or a unit without a standard code; "" for none
};

// The server's fixed identity.
GBServerIdentity SimulationServerIdentity(const std::string& endpointUrl);

class COPCServer final : public GBDataAccess {
 public:
  // `model` is the loop data model that client writes go to;
  // `decimalSeparator` is the user's, for value texts and written texts.
  COPCServer(LoopModel& model, char decimalSeparator);
  // Stops serving before the hook's state goes.
  ~COPCServer() override;

  // Where validated writes of the gain and the integral term go: the GUI
  // thread stores them. Without a hand-off (a server on its own, as in a
  // test fixture) the hook stores them into the model at once. Set before
  // InitializeOPC; the hand-off must outlive the server.
  void SetClientWriteHandOff(ClientWriteHandOff* handOff) { handOff_ = handOff; }

  // Where a client's acknowledgment or confirmation of an alarm goes: the
  // GUI thread answers it in the alarm library. Without a hand-off (a
  // server on its own, as in a test fixture) the loop object has no alarm
  // conditions. Set before InitializeOPC; the hand-off must outlive the
  // server.
  void SetAlarmAnswerHandOff(AlarmAnswerHandOff* answers) { alarmAnswers_ = answers; }

  // Values each of the loop object's PV, SP and OP keeps in its history
  // (0: none). Set before InitializeOPC.
  void SetLoopHistoryCapacity(std::size_t values) { historyCapacity_ = values; }

  // Initialises the toolkit, creates the items with the value "empty" and
  // the loop object, and starts serving at `endpointUrl`. False with a message naming the
  // endpoint when it cannot listen.
  bool InitializeOPC(const std::string& endpointUrl, std::string& error);

  // The read-only figures under kAnalysisFolder, in the order
  // PublishItemValues takes their values. Set before InitializeOPC.
  void SetAnalysisItems(std::vector<AnalysisItem> items) { analysisItems_ = std::move(items); }

  // Publishes all items, the figures when `analysis` holds one value per
  // figure (an absent value reads BadWaitingForInitialData), and the loop
  // object's variables, in one batch with one timestamp; called by the run
  // loop at every trend sample.
  void PublishItemValues(const PanelSnapshot& panel,
                         std::span<const std::optional<double>> analysis = {},
                         const LoopRunValues& run = {});

  // The alarm states as the loop object's conditions, each only when it
  // changed: at a step with a transition, at every trend sample and after
  // an answer of the operator's, on the run loop's thread.
  void PublishAlarms(const std::array<AlarmStatus, kAlarmKindCount>& alarms);

  // The loop object's Running and t alone, in a batch of their own: the
  // end of a run, which no trend sample follows.
  void PublishLoopRunState(const LoopRunValues& run);
  // GUI thread: the state the loop object's writes and methods are checked
  // against, after a change between two publications.
  void UpdateLoopState(const LoopRunValues& run, bool canStart);
  // Any thread: a new run starts a new history.
  void ClearLoopHistory();
  // Null before InitializeOPC.
  const LoopObject* Loop() const { return loop_.get(); }

  // The value texts of a publication, by position.
  std::array<std::string, kItemCount> ItemValueTexts(const PanelSnapshot& panel) const;

  const std::array<uint32_t, kItemCount>& ItemHandles() const { return itemHandles_; }

 protected:
  void GBOnWriteItems(std::vector<GBItemWrite>& writes) override;
  opcua::StatusCode GBOnWriteVariable(uint32_t variable, opcua::Variant& value) override;

 private:
  // The three conditions on the loop object, its place among the notifiers.
  bool CreateAlarmConditions(std::string& error);

  LoopModel& model_;
  const char separator_;
  ClientWriteHandOff* handOff_ = nullptr;
  std::array<uint32_t, kItemCount> itemHandles_{};
  std::vector<AnalysisItem> analysisItems_;
  std::vector<uint32_t> analysisHandles_;
  std::size_t historyCapacity_ = kDefaultLoopHistoryCapacity;
  std::unique_ptr<LoopObject> loop_;
  AlarmAnswerHandOff* alarmAnswers_ = nullptr;
  std::unique_ptr<LoopAlarmConditions> alarms_;  // with a hand-off, after InitializeOPC
};

// A written scalar as text, as a variant conversion to a string gives it:
// numbers in decimal (reals with the given separator), booleans "True" or
// "False", texts as they are. False for arrays and other types.
bool VariantText(const opcua::Variant& value, char decimalSeparator, std::string& text);

// The number in a written text: the whole text (surrounding blanks allowed)
// must be one decimal number with the given separator that fits a
// single-precision field; otherwise a Bad status and `number` is unchanged.
opcua::StatusCode TextNumber(std::string_view text, char decimalSeparator, float& number);

}  // namespace qx
