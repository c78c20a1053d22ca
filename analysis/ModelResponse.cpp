#include "analysis/ModelResponse.h"

#include <algorithm>
#include <cmath>

#include "analysis/LoopSample.h"

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
  // The plant's recurrences for a loop at rest at 0 (no bias, no integrator
  // offset, no lead), in double precision: the fit calls this thousands of
  // times, and the plant's own step with its guards and single-precision
  // stores costs several times as much. ModelResponseTest holds the two
  // together.
  const size_t n = input.size();
  out.resize(n);
  const double dt = kStepTime;
  switch (kind) {
    case ModelKind::Integrating: {
      double y = 0;
      for (size_t k = 0; k < n; ++k) out[k] = y += input[k] * dt;
      return true;
    }
    case ModelKind::FirstOrder: {
      if (!(tau1 > 0)) return false;
      // s0 += (c0 u - c0 s0) dt, with c0 = 1 / Tau1, gathered into
      // s0 = a s0 + b u to shorten the chain from one step to the next.
      const double c0 = 1.0 / tau1;
      const double a = 1 - c0 * dt, b = c0 * dt;
      double s0 = 0;
      for (size_t k = 0; k < n; ++k) out[k] = s0 = a * s0 + b * input[k];
      return std::fabs(s0) < kRunawayLimit;
    }
    case ModelKind::SecondOrder: {
      if (!(tau1 > 0)) return false;
      // The highest state first, s1 += (c0 u - c0 s0 - c1 s1) dt with
      // c0 = 1 / Tau1, c1 = Tau2 / Tau1; the lower one integrates its new
      // value, s0 += s1 dt.
      const double c0 = 1.0 / tau1, c1 = c0 * tau2;
      const double a = 1 - c1 * dt, b = c0 * dt;
      double s0 = 0, s1 = 0, peak = 0;
      for (size_t k = 0; k < n; ++k) {
        s1 = a * s1 + b * (input[k] - s0);
        out[k] = s0 += s1 * dt;
        peak = std::max(peak, std::fabs(s0));
      }
      // A run that overflowed leaves NaN, which fails this test too.
      return peak < kRunawayLimit;
    }
  }
  return false;
}

}  // namespace qx::analysis
