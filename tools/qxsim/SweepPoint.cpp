#include "tools/qxsim/SweepPoint.h"

#include <sstream>

#include "app/Application.h"
#include "app/DecimalSeparator.h"
#include "engine/RunLoop.h"
#include "sweep/StabilityCheck.h"
#include "tools/qxsim/CaseLoad.h"
#include "tools/qxsim/HeadlessHost.h"
#include "tools/qxsim/TextAppHost.h"

namespace qx {
namespace {

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
  std::ostringstream messages;
  TextAppHost console(messages);
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
  run.Messages = messages.str();
  return run;
}

CaseProbe ProbeCase(const RunOptions& options, const std::vector<const FieldInfo*>& fields) {
  std::ostringstream messages;
  TextAppHost console(messages);
  Application app(console, DecimalSeparatorFromEnvironment());
  app.StartUpState();
  CaseProbe probe;
  probe.Loaded = LoadRunCase(app, console, options);
  probe.Messages = messages.str();
  const LoopModel& model = app.Model();
  for (const FieldInfo* field : fields) probe.FieldValues.push_back(FieldRef<float>(model, *field));
  probe.SP = model.SingleLoop.SP;
  probe.CVLow = model.SingleLoop.CVLow;
  probe.CVHigh = model.SingleLoop.CVHigh;
  return probe;
}

}  // namespace qx
