// The master link: the simulator as the client of a master program's OPC
// server, taking the master controller's output "QX_S.OP" as the set point
// of its single loop, so that the two programs form a cascade.
//
// All of it runs on the GUI thread. The client connects and listens on a
// thread of its own; its answers come back as events that DeliverEvents
// raises between two steps of the run. SetUpMasterLink therefore finishes
// in two parts: its steps up to asking for the connection at once, and its
// last step (the missing-tag message) when the connect's outcome arrives.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "app/AppHost.h"
#include "engine/LoopModel.h"
#include "opc/OPCClient.h"
#include "ui/OperatorPanel.h"

namespace qx {

inline constexpr std::string_view kMasterGroupName = "Brelvine Slave";
inline constexpr std::string_view kMasterOutputItem = "QX_S.OP";
inline constexpr int kMasterUpdateRateMs = 100;
inline constexpr std::string_view kMasterProgramError = "QxOPCMaster Program Error";
inline constexpr std::string_view kMasterTagMissing = "Could not find OP Tag of QxOPCMaster";
// The set point a value of bad or uncertain quality gives.
inline constexpr double kMasterBadValue = 10000000.0;
// Where the master serves when neither --master nor QX_MASTER_ENDPOINT
// says otherwise (the simulator itself serves at 4840).
inline constexpr std::string_view kDefaultMasterEndpoint = "opc.tcp://127.0.0.1:4841";

// The master's value texts always use "." as decimal separator, whatever
// the user's locale (MasterNumberFormat). True when the whole text is one
// finite number.
bool MasterTextToNumber(std::string_view text, double& value);

// The endpoint named by QX_MASTER_ENDPOINT, or "" when it is not set (the
// client then goes to the default on the computer it is given).
std::string MasterEndpointFromEnvironment();

class MasterLink final : private OPCClientEvents {
 public:
  MasterLink(OPCClient& client, LoopModel& model, OperatorPanel& panel, AppHost& host);

  // OPCServerToolButton: subscribes to the master's "QX_S.OP" in the group
  // "Brelvine Slave" at 100 ms and connects. A rejected item shows
  // "QxOPCMaster Program Error" (adding) or "Could not find OP Tag of
  // QxOPCMaster" (connecting); a master that cannot be reached shows
  // nothing. Running it again rebuilds the subscription.
  void SetUpMasterLink();
  // MasterConnectToolButton: connects when inactive, disconnects when
  // active. A failed connect goes to the general error report.
  void MasterConnectToolButtonClick();

  // Raises the client's pending events: connect, disconnect, data change
  // and the outcomes of the set-up. Returns how many were delivered.
  std::size_t DeliverEvents();

  // The result of the last set-up that has finished: 0, or 1 when the
  // master lacks the item.
  std::optional<int> SetUpResult() const { return setUpResult_; }
  OPCClient& Client() { return client_; }

  // dOPCServerInDatachange: the first item of the group "Brelvine Slave" into
  // SingleLoop.SP and SPNew (quality 192: its text as a number, clamped
  // into the CV range when there is one; anything else: 10000000) and its
  // text into SingleSPNew ("0.00"). A good text that is not a finite number
  // leaves all of them as they were.
  void dOPCServerInDatachange();

 private:
  // What an outcome event answers, in the order they were asked.
  enum class Awaited { SetUpAddItems, SetUpActivate, ButtonActivate };

  void OnConnect() override;
  void OnDisconnect() override;
  void OnDataChange(OPCClientGroup& group) override;
  void OnSetActiveDone(std::string_view error) override;
  void OnAddItemsDone(OPCClientGroup& group, std::string_view error) override;
  // The end of a set-up: when the activation failed, the missing-tag
  // message if the server rejected any item ID; then the set-up's result.
  void FinishSetUp(bool activateFailed);

  OPCClient& client_;
  LoopModel& model_;
  OperatorPanel& panel_;
  AppHost& host_;
  OPCClientGroup* masterGroup_ = nullptr;
  std::deque<Awaited> awaited_;
  std::optional<int> setUpResult_;
};

}  // namespace qx
