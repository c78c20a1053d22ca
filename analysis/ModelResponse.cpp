#include "analysis/ModelResponse.h"

#include <cmath>
#include <limits>

#include "analysis/LoopSample.h"
#include "engine/Plant.h"

namespace qx::analysis {
namespace {

// Beyond this the response has run away: the engine's own guards start at
// 1e10, and no fit of real data gets near it.
constexpr double kRunawayLimit = 1e9;

int EngineOrder(ModelKind kind) {
  switch (kind) {
    case ModelKind::FirstOrder: return 1;
    case ModelKind::SecondOrder: return 2;
    case ModelKind::Integrating: return 0;
  }
  return 0;
}

}  // namespace

const char* ModelKindName(ModelKind kind) {
  switch (kind) {
    case ModelKind::FirstOrder: return "first order plus dead time";
    case ModelKind::SecondOrder: return "second order plus dead time";
    case ModelKind::Integrating: return "integrating plus dead time";
  }
  return "unknown model";
}

ModelParams ToProcessModel(ModelKind kind, double gain, double deadTime, double tau1,
                           double tau2) {
  ModelParams m{};
  m.Order = EngineOrder(kind);
  m.Gain = static_cast<float>(gain);
  m.Delay = static_cast<float>(deadTime);
  if (kind != ModelKind::Integrating) m.Tau1 = static_cast<float>(tau1);
  if (kind == ModelKind::SecondOrder) m.Tau2 = static_cast<float>(tau2);
  return m;
}

bool UnitResponse(ModelKind kind, double tau1, double tau2, std::span<const double> input,
                  std::vector<double>& out) {
  out.resize(input.size());
  // A loop at rest at 0 with an unlimited CV range and MV in percent; the
  // dead time is applied by the caller as a shift, so the delay line holds
  // one entry written and read at index 0.
  PIDLoop loop{};
  loop.CVLow = -std::numeric_limits<float>::max();
  loop.CVHigh = std::numeric_limits<float>::max();
  loop.MVHigh = 100;
  const ModelParams model = ToProcessModel(kind, 1.0, 0.0, tau1, tau2);
  ProcessStates states;
  StartProcessModel(loop, model, states, static_cast<float>(kStepTime));
  float delayLine[1] = {0};
  for (size_t k = 0; k < input.size(); ++k) {
    loop.MV = static_cast<float>(input[k]);
    AdvanceProcessModel(loop, model, states, delayLine, 0, 0.0f, static_cast<float>(kStepTime));
    const double y = loop.ModelOutput;
    if (!(std::fabs(y) < kRunawayLimit)) return false;
    out[k] = y;
  }
  return true;
}

}  // namespace qx::analysis
