// The program the window and qxsim share: the loop data model and its
// simulation, the operator panel, the OPC server with the hand-off of client
// writes to the GUI thread, the case commands and the close questions. The
// window and qxsim add only their front ends (AppHost) and their run hosts.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/AppHost.h"
#include "app/LoopAlarms.h"
#include "app/LoopAnalysis.h"
#include "engine/RunHost.h"
#include "engine/Simulation.h"
#include "persistence/CaseExtras.h"
#include "persistence/CaseFile.h"
#include "persistence/ConfigurationFile.h"
#include "ui/OperatorPanel.h"

namespace qx {

class COPCServer;
class AlarmAnswerHandOff;
class ClientWriteHandOff;
struct LoopCommand;
class MasterLink;
class OPCClient;

// The notice when the built-in starting case (kStartingCaseFile, looked up
// by its bare name in the working directory) cannot be loaded.
inline constexpr std::string_view kStartingCaseMissing = "File Not Found.\n Select Another Case File";

class Application {
 public:
  // `decimalSeparator` is the user's (DecimalSeparatorFromEnvironment()):
  // case files, OPC texts and the panel's display patterns use it.
  Application(AppHost& host, char decimalSeparator);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  Simulation& Sim() { return *sim_; }
  LoopModel& Model() { return sim_->Model; }
  OperatorPanel& Panel() { return panel_; }
  CaseExtras& Extras() { return extras_; }
  char Separator() const { return separator_; }
  AppHost& Host() { return host_; }
  // The live indices of the single loop; the run hosts feed it.
  LoopAnalysis& Analysis() { return analysis_; }
  // The loop's alarms; the run hosts feed them, a case load reads their
  // limits from the case's companion file and a save writes it.
  LoopAlarms& Alarms() { return alarms_; }

  // --- Alarms (GUI thread, between two steps) ---
  // The operator's acknowledge or confirm of one alarm, from the window or
  // handed over from a client; the panel is redrawn and the loop object's
  // condition shows it when it changed.
  AlarmAnswer AcknowledgeAlarm(AlarmKind kind, const std::string& comment);
  AlarmAnswer ConfirmAlarm(AlarmKind kind, const std::string& comment);
  // New limits for the loaded case (saved with it): the refused fields with
  // their values, nothing changed when any is refused.
  std::vector<std::string> SetAlarmLimits(const AlarmLimits& limits);

  // The state after the start-up splash: single loop in Auto, idle layout.
  void StartUpState();

  // --- OPC server ---
  // Creates the server and its 33 items and starts listening at `endpoint`.
  // May run on a worker thread while the GUI thread goes on; false with a
  // message naming the endpoint when it cannot listen.
  bool StartServer(const std::string& endpoint, std::string& error);
  // Null until StartServer has succeeded. Any thread.
  COPCServer* Server() { return serving_.load(); }
  // The policies the server offers and who may write, for the start-up
  // line; set by StartServer.
  const std::string& ServedSecurity() const { return servedSecurity_; }
  // Values each of the loop object's PV, SP and OP keeps in its history;
  // before StartServer.
  void SetLoopHistoryCapacity(std::size_t values) { historyCapacity_ = values; }
  // Called on a server thread after a client write or a client's answer to
  // an alarm has been queued, so an idle GUI thread can be woken to deliver
  // it.
  void SetClientWriteWake(std::function<void()> wake);
  // GUI thread, between two steps: stores each queued client write into its
  // field and its edit together, performs the loop object's commands, and
  // answers the alarms clients acknowledged or confirmed.
  void DeliverClientWrites();
  // Set while a client write or command waits for DeliverClientWrites; any
  // thread reads it, and it lives as long as the application.
  const std::atomic<bool>& ClientWritesWaiting() const;
  // Set while a client's acknowledgment or confirmation waits for
  // DeliverClientWrites; the same terms.
  const std::atomic<bool>& AlarmAnswersWaiting() const;
  // The run host that a client's StartRun runs the case with (the front
  // end's); without one StartRun is refused. It must outlive its use.
  void SetCommandRunHost(RunHost* host) { commandHost_ = host; }
  // A loop object's command, as the operator's action on the panel.
  void PerformLoopCommand(const LoopCommand& command);
  // StartRun may be called: idle, a case has been run, a run host is set.
  bool CanStartRun() const;
  // The state the loop object's writes and methods are checked against,
  // after the panel or the run changed it (GUI thread).
  void UpdateLoopState();
  // The run hosts at a run's start and end: a new analysis, alarm states and
  // history, and the loop object's run state.
  void RunStarting();
  void RunEnded();
  // Publishes the loop values (at every trend sample); without a server it
  // costs a load, so it is inline.
  void PublishItemValues() {
    if (COPCServer* server = Server()) PublishItemValuesTo(*server);
  }
  // The server's two connection counters are not both zero.
  bool ClientsConnected() const;
  // No new client sessions from here on. Called before StartServer has
  // finished, the server revokes as soon as it is ready.
  void RevokeServer();

  // --- Master link (GUI thread) ---
  // Where the master serves; empty: QX_MASTER_ENDPOINT, else the default
  // (opc.tcp://127.0.0.1:4841). Takes effect before the link's first use.
  void SetMasterEndpoint(std::string endpoint) { masterEndpoint_ = std::move(endpoint); }
  // Gives the link this client instead of the OPC UA one (tests). Before
  // the link's first use.
  void UseMasterClient(std::unique_ptr<OPCClient> client);
  // Called on the client's thread after it queued an event, so an idle GUI
  // thread can be woken to deliver it.
  void SetMasterLinkWake(std::function<void()> wake);
  // OPCServerToolButton and MasterConnectToolButton.
  void OPCServerToolButtonClick();
  void MasterConnectToolButtonClick();
  // Between two steps: raises the link's pending events (connect,
  // disconnect, the master's new output).
  void DeliverMasterLinkEvents();
  // Client writes, the master link's events, then a queued speed click.
  void DeliverPendingWork();
  // The link, created on first use.
  MasterLink& Master();
  // Whether the link has been created (it then may have events to deliver).
  bool HasMasterLink() const { return master_ != nullptr; }

  // --- Case commands; a loading command ends by starting a run and
  // returns when that run has ended. A request while a run is active ends
  // that run first and starts the new one after the old loop has returned.
  void NewCaseFileClick(RunHost& run);
  void OpenCaseFileClick(RunHost& run);
  // "Open Case File" with the path given instead of chosen in the dialog (a
  // case named on the command line).
  void OpenCaseFile(const std::string& path, RunHost& run);
  // "Open Case File" with the path given, up to its run: ends any run, loads
  // the case (`beforeFinish` as in LoadCase) and shows it as the command
  // does (caption, folder, case layout, values, running labels). The run
  // follows with StartCaseRun unless a line failed (the command then ends in
  // the idle layout). qxsim loads its case through it, so that it starts
  // from the state the window starts from.
  CaseReadStatus LoadCaseFile(const std::string& path,
                              const std::function<void(LoopModel&)>& beforeFinish = {});
  // The run of a loading command, after its load.
  void StartCaseRun(RunHost& run);
  void SaveCaseFileClick();
  // Writes the case as "Save Case File" does to `path`, without the dialog
  // or the notice, and leaves the case file in use as it is (the tuning
  // map's copy of the running case). False with the reason.
  bool WriteCaseCopy(const std::string& path, std::string& reason) const;

  // The load of the case commands without their window steps: ReadCase
  // through the panel's case host (its boxes through AppHost::ShowMessage).
  // `beforeFinish`, when given, changes values between the file and the end
  // steps of the load (qxsim's --set overrides); it runs only when every
  // line was taken.
  CaseReadResult LoadCase(const std::string& path,
                          const std::function<void(LoopModel&)>& beforeFinish = {});

  // "Stop Simulation".
  void cmd_exitClick();

  // --- Closing the main window ---
  // Asks "Are you Sure?" (a running simulation stops at its next step; No
  // lets it go on). True when the close may go on.
  bool FormCloseQuery();
  // Asks the connected-clients question when clients are connected, and
  // revokes the server in every case. True when the window closes.
  bool FormClose();

 private:
  void PublishItemValuesTo(COPCServer& server);
  // The alarm states to the loop object's conditions, each that changed.
  void PublishAlarms();
  // "Open Case File" from the chosen path on: load, captions, layout; no
  // run.
  CaseReadStatus RestoreCaseFile(const std::string& path,
                                 const std::function<void(LoopModel&)>& beforeFinish);
  // The end of both loading commands: the case layout with the loaded
  // values, then the run.
  void ShowLoadedCase();

  AppHost& host_;
  const char separator_;
  std::unique_ptr<Simulation> sim_;
  OperatorPanel panel_;
  LoopAnalysis analysis_;
  LoopAlarms alarms_;
  CaseExtras extras_;
  std::unique_ptr<ClientWriteHandOff> writes_;
  std::unique_ptr<AlarmAnswerHandOff> alarmAnswers_;  // clients' acknowledgments and confirmations
  std::unique_ptr<COPCServer> server_;  // set once, by StartServer
  // server_ once it serves: the GUI thread may ask for it while StartServer
  // still runs on the start-up thread.
  std::atomic<COPCServer*> serving_{nullptr};
  std::atomic<bool> revokeRequested_{false};
  std::string servedSecurity_;
  std::size_t historyCapacity_;
  RunHost* commandHost_ = nullptr;
  bool caseRun_ = false;  // a case command has started a run
  std::string masterEndpoint_;
  std::function<void()> masterWake_;
  std::unique_ptr<OPCClient> masterClient_;
  std::unique_ptr<MasterLink> master_;
};

}  // namespace qx
