#include "tools/qxsim/RunCommand.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "app/Application.h"
#include "app/DecimalSeparator.h"
#include "app/RunCaseLoad.h"
#include "app/TextAppHost.h"
#include "engine/FieldTable.h"
#include "engine/RunLoop.h"
#include "opc/GBDataAccess.h"
#include "opc/OPCServer.h"
#include "persistence/CaseFile.h"
#include "tools/qxsim/AlarmLog.h"
#include "tools/qxsim/HeadlessHost.h"
#include "tools/qxsim/Interrupt.h"
#include "tools/qxsim/MetricsText.h"
#include "tools/qxsim/TraceFile.h"

namespace qx {
namespace {

// Keeps serving the last values after the run: for `seconds`, or until
// Ctrl-C when no time is given.
void ServeAfterRun(const RunOptions& options, Application& app) {
  const auto start = std::chrono::steady_clock::now();
  while (!InterruptFlag().load()) {
    if (options.ServeAfterSeconds &&
        std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(*options.ServeAfterSeconds))
      break;
    app.DeliverPendingWork();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
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
  TextAppHost console(std::cerr);
  Application app(console, DecimalSeparatorFromEnvironment());
  LoopModel& m = app.Model();
  OperatorPanel& panel = app.Panel();
  app.StartUpState();

  // From before the server starts: a client that has seen it serve may end
  // the process with SIGTERM at any time.
  InterruptHandlers interruptHandlers;

  // The OPC server serves from start-up on: every item reads "empty" until
  // the first publication.
  if (options.ServeEndpoint) {
    const std::string endpoint =
        options.ServeEndpoint->empty() ? DefaultEndpointUrl() : *options.ServeEndpoint;
    std::string error;
    if (options.HistoryValues) app.SetLoopHistoryCapacity(*options.HistoryValues);
    if (!app.StartServer(endpoint, error)) {
      std::cerr << "qxsim: " << error << '\n';
      return 1;
    }
    // With port 0 the system chose the port: the line names the one served.
    std::cerr << "qxsim: serving OPC UA at " << app.Server()->ServedEndpointUrl() << '\n';
    std::cerr << "qxsim: OPC UA security: " << app.ServedSecurity() << '\n';
  }

  if (!LoadRunCase(app, console, options.CasePath, options.Overrides)) return 1;

  std::FILE* trace = nullptr;
  if (!options.TracePath.empty()) {
    trace = options.TracePath == "-" ? stdout : std::fopen(options.TracePath.c_str(), "wb");
    if (!trace) {
      std::cerr << "qxsim: cannot write the trace to '" << options.TracePath << "'\n";
      return 1;
    }
    std::fputs(kTraceHeader, trace);
  }

  AlarmLog alarms;
  if (!options.AlarmsPath.empty()) {
    std::string error;
    if (!alarms.Open(options.AlarmsPath, error)) {
      std::cerr << "qxsim: " << error << '\n';
      return 1;
    }
    alarms.Attach(app.Alarms().Set());
  }

  HeadlessHost host(app, options, InterruptFlag());
  // A client's StartRun runs the case again with this host while it serves.
  app.SetCommandRunHost(&host);
  host.SetTrace(trace);
  host.SetStatusLine(isatty(STDERR_FILENO) && options.TracePath != "-");
  // The indices are read by --metrics at the end and by the server's items.
  host.SetAnalysisFed(!options.MetricsPath.empty() || app.Server() != nullptr);
  if (options.Seed) app.Sim().Random.Seed(*options.Seed);
  // The master link as OPCServerToolButton sets it up; its events arrive
  // between the steps (HeadlessHost).
  if (options.MasterEndpoint) {
    app.SetMasterEndpoint(*options.MasterEndpoint);
    app.OPCServerToolButtonClick();
  }

  app.StartCaseRun(host);
  host.FinishStatusLine();
  // The whole trace is out while the process goes on serving.
  if (trace) std::fflush(trace);
  if (app.Server()) ServeAfterRun(options, app);
  app.SetCommandRunHost(nullptr);

  int status = 0;
  if (trace && trace != stdout && std::fclose(trace) != 0) {
    std::cerr << "qxsim: writing the trace to '" << options.TracePath << "' failed\n";
    status = 1;
  } else if (trace == stdout) {
    std::fflush(stdout);
  }
  if (std::string error; !alarms.Close(error)) {
    std::cerr << "qxsim: " << error << '\n';
    status = 1;
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
  if (!options.MetricsPath.empty() &&
      !WriteTextFile(options.MetricsPath, MetricsText(app.Analysis().Results()))) {
    std::cerr << "qxsim: cannot write the metrics to '" << options.MetricsPath << "'\n";
    status = 1;
  }
  if (!options.SaveCasePath.empty()) {
    std::string reason;
    if (!WriteCase(options.SaveCasePath, m, app.Extras(), app.Separator(), reason)) {
      std::cerr << "Could Not Save File: " << reason << '\n';
      status = 1;
    } else if (!app.Alarms().SaveFor(options.SaveCasePath, reason)) {
      std::cerr << "Could Not Save The Alarm Limits: " << reason << '\n';
      status = 1;
    }
  }
  return status;
}

}  // namespace qx
