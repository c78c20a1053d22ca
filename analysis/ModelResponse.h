// The three process models the identification fits, simulated exactly as
// the engine's plant runs them, so that a fitted model is the model the
// engine would run: the same explicit-Euler recurrence at the 0.5 step, the
// same order of updates, the same dead-time shift.
#pragma once

#include <span>
#include <vector>

#include "engine/LoopModel.h"

namespace qx::analysis {

enum class ModelKind { FirstOrder, SecondOrder, Integrating };

// "first order plus dead time", "second order plus dead time",
// "integrating plus dead time".
const char* ModelKindName(ModelKind kind);

// The response of the model with unit gain and no dead time to `input`
// (deviations of the output from its value before the stretch, in percent),
// starting at rest: out[k] is the model output after the step with input[k],
// as the engine's plant gives it. `tau1` and `tau2` are the engine's
// coefficients (first order: Tau1 y' + y = u; second order:
// Tau1 y'' + Tau2 y' + y = u; unused for the integrator y' = u). Returns
// false when the response runs away (the model is unstable at this step).
bool UnitResponse(ModelKind kind, double tau1, double tau2, std::span<const double> input,
                  std::vector<double>& out);

// Engine process-model fields for a model: order, gain in the engine's units
// (CV per MV unit), dead time and coefficients; everything else zero.
ModelParams ToProcessModel(ModelKind kind, double gain, double deadTime, double tau1,
                           double tau2);

}  // namespace qx::analysis
