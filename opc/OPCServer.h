// The simulator's OPC server: the 33 items, their creation, the publication
// of the loop's values at every trend sample, and the client-write hook that
// changes the single loop's gain and integral term.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/LoopModel.h"
#include "opc/ClientWriteHandOff.h"
#include "opc/GBDataAccess.h"
#include "opc/ItemTable.h"

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

  // Initialises the toolkit, creates the items with the value "empty" and
  // starts serving at `endpointUrl`. False with a message naming the
  // endpoint when it cannot listen.
  bool InitializeOPC(const std::string& endpointUrl, std::string& error);

  // The read-only figures under kAnalysisFolder, in the order
  // PublishItemValues takes their values. Set before InitializeOPC.
  void SetAnalysisItems(std::vector<AnalysisItem> items) { analysisItems_ = std::move(items); }

  // Publishes all items, and the figures when `analysis` holds one value
  // per figure (an absent value reads BadWaitingForInitialData), in one batch
  // with one timestamp; called by the run loop at every trend sample.
  void PublishItemValues(const PanelSnapshot& panel,
                         std::span<const std::optional<double>> analysis = {});

  // The value texts of a publication, by position.
  std::array<std::string, kItemCount> ItemValueTexts(const PanelSnapshot& panel) const;

  const std::array<uint32_t, kItemCount>& ItemHandles() const { return itemHandles_; }

 protected:
  void GBOnWriteItems(std::vector<GBItemWrite>& writes) override;

 private:
  LoopModel& model_;
  const char separator_;
  ClientWriteHandOff* handOff_ = nullptr;
  std::array<uint32_t, kItemCount> itemHandles_{};
  std::vector<AnalysisItem> analysisItems_;
  std::vector<uint32_t> analysisHandles_;
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
