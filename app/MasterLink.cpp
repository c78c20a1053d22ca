#include "app/MasterLink.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <utility>
#include <vector>

#include "engine/NumberText.h"
#include "opc/OPCQuality.h"

namespace qx {

bool MasterTextToNumber(std::string_view text, double& value) { return ParseWholeDecimal(text, value); }

std::string MasterEndpointFromEnvironment() {
  const char* endpoint = std::getenv("QX_MASTER_ENDPOINT");
  return endpoint ? endpoint : "";
}

MasterLink::MasterLink(OPCClient& client, LoopModel& model, OperatorPanel& panel, AppHost& host)
    : client_(client), model_(model), panel_(panel), host_(host) {}

void MasterLink::SetUpMasterLink() {
  client_.SetComputerName("");
  if (client_.GroupCount() == 0) {
    masterGroup_ = &client_.AddGroup(std::string(kMasterGroupName));
  } else {
    masterGroup_ = &client_.Group(0);
    masterGroup_->RemoveAllItems();
  }
  masterGroup_->AddItem(std::string(kMasterOutputItem));
  masterGroup_->SetUpdateRate(kMasterUpdateRateMs);
  awaited_.push_back(Awaited::SetUpAddItems);
  client_.AddPendingItems(*masterGroup_);
  awaited_.push_back(Awaited::SetUpActivate);
  client_.SetActive(true);
}

void MasterLink::MasterConnectToolButtonClick() {
  if (client_.Active()) {
    client_.SetActive(false);
    return;
  }
  awaited_.push_back(Awaited::ButtonActivate);
  client_.SetActive(true);
}

std::size_t MasterLink::DeliverEvents() { return client_.DeliverEvents(*this); }

void MasterLink::OnConnect() { host_.ShowMasterLinkState(true); }

void MasterLink::OnDisconnect() { host_.ShowMasterLinkState(false); }

void MasterLink::OnDataChange(OPCClientGroup&) { dOPCServerInDatachange(); }

void MasterLink::OnAddItemsDone(OPCClientGroup&, std::string_view error) {
  if (awaited_.empty() || awaited_.front() != Awaited::SetUpAddItems) return;
  awaited_.pop_front();
  if (!error.empty()) host_.ShowPlainMessage(kMasterProgramError);
}

void MasterLink::OnSetActiveDone(std::string_view error) {
  if (awaited_.empty() || awaited_.front() == Awaited::SetUpAddItems) return;
  const Awaited asked = awaited_.front();
  awaited_.pop_front();
  if (asked == Awaited::SetUpActivate)
    FinishSetUp(!error.empty());
  else if (!error.empty())
    host_.ShowGeneralError("Master link: " + std::string(error));
}

void MasterLink::FinishSetUp(bool activateFailed) {
  std::vector<std::string> names;
  if (activateFailed) {
    for (std::size_t g = 0; g < client_.GroupCount(); ++g) {
      OPCClientGroup& group = client_.Group(g);
      for (std::size_t i = 0; i < group.ItemCount(); ++i)
        if (group.Item(i).LastError != 0) names.push_back(group.Item(i).ItemID);
    }
  }
  if (!names.empty()) host_.ShowPlainMessage(kMasterTagMissing);
  setUpResult_ = names.empty() ? 0 : 1;
}

void MasterLink::dOPCServerInDatachange() {
  if (!masterGroup_ || masterGroup_->ItemCount() == 0) return;
  const OPCClientItem& item = masterGroup_->Item(0);
  double number = kMasterBadValue;
  float value = 0;
  std::string shown;
  try {
    // A good text that is not a number changes nothing.
    if (item.Quality == kQualityWordGood) {
      if (!MasterTextToNumber(item.ValueText, number)) return;
      // Into the CV range at once, as an operator's edit is when it is read:
      // a huge master value (3.4e38, a 64-bit integer) never stands in the
      // loop until the next normalisation. Without a range (no case loaded
      // yet, or one the normalisation will repair) there is nothing to
      // clamp into. The bad-quality marker is left as it is, for the
      // operator to see.
      const PIDLoop& single = model_.SingleLoop;
      if (single.CVHigh > single.CVLow) number = std::clamp<double>(number, single.CVLow, single.CVHigh);
    }
    value = ToSingle(number);
    shown = FormatPattern(value, 2, panel_.DecimalSeparator);
  } catch (const std::exception&) {
    return;  // out of memory for the text: the set point stays as it was
  }
  // Nothing above stored anything; nothing below can fail.
  model_.SingleLoop.SP = value;
  model_.SingleLoop.SPNew = value;
  panel_.SingleSPNew.Text = std::move(shown);
  host_.PanelChanged();
  host_.ProcessPendingMessages();
}

}  // namespace qx
