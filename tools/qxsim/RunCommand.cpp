#include "tools/qxsim/RunCommand.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/FieldTable.h"
#include "engine/Normalise.h"
#include "engine/RealText.h"
#include "engine/RunLoop.h"
#include "opc/OPCServer.h"
#include "persistence/CaseFile.h"
#include "persistence/ConfigurationFile.h"
#include "tools/qxsim/HeadlessHost.h"

namespace qx {
namespace {

constexpr const char* kStartingCase = "TravekEX2.pid";
constexpr const char* kTraceHeader =
    "step,t,SP,PV,OP,OPOut,MV,ModelOutput,DelayedOutput,PVRaw,D,Mode,SPNew,OPNew,P,I,"
    "EffectiveP,Error\n";

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

// While the command runs, SIGINT and SIGTERM end the run and the serving
// after it, so the process still writes its outputs and closes the server;
// the previous handlers come back at the end.
class InterruptHandlers {
 public:
  InterruptHandlers()
      : previousInt_(std::signal(SIGINT, OnInterrupt)),
        previousTerm_(std::signal(SIGTERM, OnInterrupt)) {}
  ~InterruptHandlers() {
    std::signal(SIGINT, previousInt_);
    std::signal(SIGTERM, previousTerm_);
  }
  InterruptHandlers(const InterruptHandlers&) = delete;
  InterruptHandlers& operator=(const InterruptHandlers&) = delete;

 private:
  void (*previousInt_)(int);
  void (*previousTerm_)(int);
};

// Case-reader requests of the headless runner: messages go to standard
// error, the window steps act on the in-memory panel.
class PanelCaseHost final : public CaseHost {
 public:
  PanelCaseHost(LoopModel& model, OperatorPanel& panel) : model_(model), panel_(panel) {}
  void ShowErrorBox(std::string_view caption, std::string_view text) override {
    std::cerr << caption << ": " << text << '\n';
  }
  void ShowLoopKind() override { qx::ShowLoopKind(model_, panel_); }
  void ShowAutoMode() override { ShowModeState(panel_, LoopMode::Auto); }

 private:
  LoopModel& model_;
  OperatorPanel& panel_;
};

// Edit texts that client writes change arrive on a server thread; the run
// hands them to the panel while it processes its messages.
class EditUpdateQueue {
 public:
  void Post(std::string_view edit, std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.emplace_back(std::string(edit), std::move(text));
  }
  void DeliverTo(OperatorPanel& panel) {
    std::vector<std::pair<std::string, std::string>> updates;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      updates.swap(pending_);
    }
    for (auto& [edit, text] : updates)
      if (EditControl* control = panel.FindEdit(edit)) control->Text = std::move(text);
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> pending_;
};

// Keeps serving the last values after the run: for `seconds`, or until
// Ctrl-C when no time is given.
void ServeAfterRun(const RunOptions& options, EditUpdateQueue& updates, OperatorPanel& panel) {
  const auto start = std::chrono::steady_clock::now();
  while (!gInterrupted.load()) {
    if (options.ServeAfterSeconds &&
        std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(*options.ServeAfterSeconds))
      break;
    updates.DeliverTo(panel);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string StartingCasePath() {
  const std::string folder = ExecutableFolder();
  return folder.empty() ? kStartingCase : folder + "/" + kStartingCase;
}

// Writes `text` to `path` ("-": standard output). False with a message.
bool WriteTextFile(const std::string& path, const std::string& text) {
  if (path == "-") {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

std::string DescribeModel(const LoopModel& model) {
  std::string out;
  for (const FieldInfo& field : AllFields()) {
    out.append(field.record).append(".").append(field.field).append("=");
    out.append(FieldValueText(model, field)).append("\n");
  }
  return out;
}

}  // namespace

int RunCommand(const RunOptions& options) {
  auto sim = std::make_unique<Simulation>();
  LoopModel& m = sim->Model;
  OperatorPanel panel;
  CaseExtras extras;
  const char separator = DecimalSeparatorFromEnvironment();

  // The program as it stands after its start-up: Auto, the single loop.
  m.RunControl.SingleAutoState = 1;
  m.RunControl.SingleModeSelect = 1;
  m.RunControl.SingleConfiguration = true;
  ShowIdleLayout(panel);

  // From before the server starts: a client that has seen it serve may end
  // the process with SIGTERM at any time.
  InterruptHandlers interruptHandlers;

  // The edit texts of client writes. The queue outlives the server, whose
  // write hook posts to it until the server has stopped.
  EditUpdateQueue editUpdates;
  // The OPC server serves from start-up on: every item reads "empty" until
  // the first publication.
  std::unique_ptr<COPCServer> server;
  if (options.ServeEndpoint) {
    const std::string endpoint =
        options.ServeEndpoint->empty() ? DefaultEndpointUrl() : *options.ServeEndpoint;
    server = std::make_unique<COPCServer>(m, separator);
    server->SetEditUpdate(
        [&editUpdates](std::string_view edit, std::string text) { editUpdates.Post(edit, std::move(text)); });
    std::string error;
    if (!server->InitializeOPC(endpoint, error)) {
      std::cerr << "qxsim: " << error << '\n';
      return 1;
    }
    std::cerr << "qxsim: serving OPC UA at " << endpoint << '\n';
  }

  // The case command: stop (nothing runs yet), load, override, finish.
  cmd_exitClick(m, panel, [](std::string_view) { return true; });
  PanelCaseHost caseHost(m, panel);
  const std::string casePath = options.CasePath.empty() ? StartingCasePath() : options.CasePath;
  CaseReadResult read = ReadCaseValues(casePath, m, extras, separator, caseHost);
  if (read.status == CaseReadStatus::NotLoaded) {
    // "New Simulation" adds its own notice after the reader's.
    if (options.CasePath.empty())
      caseHost.ShowErrorBox("Quorvanex OPC Server", "File Not Found.\n Select Another Case File");
    return 1;
  }
  if (read.status == CaseReadStatus::LineFailed) {
    std::cerr << read.failure << '\n';
    return 1;
  }
  for (const FieldOverride& o : options.Overrides)
    StoreFieldText(m, *FindField(o.Name), o.Value);
  FinishCaseLoad(m, caseHost);

  ShowCaseLayout(panel);
  ShowLoopValues(m, panel);

  std::FILE* trace = nullptr;
  if (!options.TracePath.empty()) {
    trace = options.TracePath == "-" ? stdout : std::fopen(options.TracePath.c_str(), "wb");
    if (!trace) {
      std::cerr << "qxsim: cannot write the trace to '" << options.TracePath << "'\n";
      return 1;
    }
    std::fputs(kTraceHeader, trace);
  }

  HeadlessHost host(*sim, panel, options, gInterrupted);
  host.SetTrace(trace);
  host.SetStatusLine(isatty(STDERR_FILENO) && options.TracePath != "-");
  if (options.Seed) sim->Random.Seed(*options.Seed);
  if (server) {
    host.SetMessagePump([&] { editUpdates.DeliverTo(panel); });
    host.SetPublisher([&] {
      server->PublishItemValues(PanelSnapshot{panel.CascadeModeCheckBox, panel.DLagSingle.Text});
    });
  }

  SinglePID1Click(*sim, host);
  host.FinishStatusLine();
  if (server) ServeAfterRun(options, editUpdates, panel);

  int status = 0;
  if (trace && trace != stdout && std::fclose(trace) != 0) {
    std::cerr << "qxsim: writing the trace to '" << options.TracePath << "' failed\n";
    status = 1;
  } else if (trace == stdout) {
    std::fflush(stdout);
  }
  if (!options.DumpModelPath.empty() && !WriteTextFile(options.DumpModelPath, DescribeModel(m))) {
    std::cerr << "qxsim: cannot write the model to '" << options.DumpModelPath << "'\n";
    status = 1;
  }
  if (!options.DumpPanelPath.empty() &&
      !WriteTextFile(options.DumpPanelPath, DescribePanel(panel))) {
    std::cerr << "qxsim: cannot write the panel to '" << options.DumpPanelPath << "'\n";
    status = 1;
  }
  if (!options.SaveCasePath.empty()) {
    std::string reason;
    if (!WriteCase(options.SaveCasePath, m, extras, separator, reason)) {
      std::cerr << "Could Not Save File: " << reason << '\n';
      status = 1;
    }
  }
  return status;
}

}  // namespace qx
