#include "tools/qxsim/SweepPoint.h"

#include <optional>
#include <string_view>

#include "app/Application.h"
#include "app/DecimalSeparator.h"
#include "engine/RunLoop.h"
#include "sweep/StabilityCheck.h"
#include "tools/qxsim/CaseLoad.h"
#include "tools/qxsim/HeadlessHost.h"

namespace qx {
namespace {

// The front end of a point: what the application says is kept as text for
// the sweep to report; questions are answered Yes as in "qxsim run".
class QuietAppHost final : public AppHost {
 public:
  bool AskYesNo(std::string_view) override { return true; }
  void ShowMessage(std::string_view caption, std::string_view text, MessageIcon) override {
    messages.append(caption).append(": ").append(text).append("\n");
  }
  void ShowGeneralError(std::string_view text) override { messages.append(text).append("\n"); }
  std::optional<std::string> ChooseCaseFileToOpen() override { return std::nullopt; }
  std::optional<std::string> ChooseCaseFileToSave() override { return std::nullopt; }
  void SetCaption(std::string_view) override {}
  void SetBusyCursor(bool) override {}
  void ShowCurrentDirectory(std::string_view) override {}
  void ProcessPendingMessages() override {}
  void ShowMasterLinkState(bool) override {}

  std::string messages;
};

// The headless host of "qxsim run" that also feeds every step to the
// stability check.
class SweepHost final : public HeadlessHost {
 public:
  SweepHost(Application& app, const RunOptions& options, const std::atomic<bool>& interrupted)
      : HeadlessHost(app, options, interrupted),
        check_(app.Model().SingleLoop.CVLow, app.Model().SingleLoop.CVHigh, options.Steps.value_or(0)) {}

  void StepComputed() override {
    HeadlessHost::StepComputed();
    const PIDLoop& loop = sim_.Model.SingleLoop;
    check_.Add(sim_.Run.StepsDone, loop.SP, loop.PV, loop.PVRaw, loop.PVNoise);
  }
  bool Stable() const { return check_.Stable(); }

 private:
  sweep::StabilityCheck check_;
};

}  // namespace

SweepPointRun RunSweepPoint(const RunOptions& options, const std::atomic<bool>& interrupted) {
  QuietAppHost console;
  Application app(console, DecimalSeparatorFromEnvironment());
  app.StartUpState();
  SweepPointRun run;
  run.Loaded = LoadRunCase(app, console, options);
  if (run.Loaded) {
    SweepHost host(app, options, interrupted);
    if (options.Seed) app.Sim().Random.Seed(*options.Seed);
    SinglePID1Click(app.Sim(), host);
    run.Results = app.Analysis().Results();
    run.Stable = host.Stable();
  }
  run.Messages = std::move(console.messages);
  return run;
}

CaseProbe ProbeCase(const RunOptions& options, const std::vector<const FieldInfo*>& fields) {
  QuietAppHost console;
  Application app(console, DecimalSeparatorFromEnvironment());
  app.StartUpState();
  CaseProbe probe;
  probe.Loaded = LoadRunCase(app, console, options);
  probe.Messages = std::move(console.messages);
  const LoopModel& model = app.Model();
  for (const FieldInfo* field : fields) probe.FieldValues.push_back(FieldRef<float>(model, *field));
  probe.SP = model.SingleLoop.SP;
  probe.CVLow = model.SingleLoop.CVLow;
  probe.CVHigh = model.SingleLoop.CVHigh;
  return probe;
}

}  // namespace qx
