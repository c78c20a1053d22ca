#include "opc/LoopCommands.h"

#include <cmath>
#include <limits>
#include <optional>
#include <type_traits>
#include <variant>

#include "engine/RealText.h"

namespace qx {
namespace {

using opcua::StatusCode;
namespace status = opcua::status;

// Output and the operator's output edit in percent.
constexpr double kOutputLow = 0;
constexpr double kOutputHigh = 100;

// A Double that a single-precision field can hold, or the status refusing it.
StatusCode RealOf(const opcua::Variant& value, double& real) {
  const double* d = value.isArray ? nullptr : std::get_if<double>(&value.scalar);
  if (!d || !std::isfinite(*d)) return status::BadTypeMismatch;
  if (std::fabs(*d) > std::numeric_limits<float>::max()) return status::BadOutOfRange;
  real = *d;
  return status::Good;
}

// An integer of any integer type, or nothing.
std::optional<int64_t> IntegerOf(const opcua::Variant& value) {
  if (value.isArray) return std::nullopt;
  return std::visit(
      [](const auto& v) -> std::optional<int64_t> {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
          if constexpr (std::is_same_v<T, uint64_t>)
            if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
          return static_cast<int64_t>(v);
        } else {
          return std::nullopt;
        }
      },
      value.scalar);
}

bool Manual(const LoopCommandState& state) {
  return state.Mode.load(std::memory_order_relaxed) == static_cast<int32_t>(LoopObjectMode::Manual);
}

bool Within(double value, double low, double high) { return value >= low && value <= high; }

LoopCommand Command(LoopCommand::Kind what, double delta = 0, int32_t level = 0) {
  LoopCommand command;
  command.What = what;
  command.Delta = delta;
  command.Level = level;
  return command;
}

}  // namespace

const char* LoopVariableEdit(LoopVariable variable) {
  switch (variable) {
    case LoopVariable::SP: return "SingleSPNew";
    case LoopVariable::OP: return "SingleOPNew";
    case LoopVariable::P: return "PSingle";
    case LoopVariable::I: return "ISingle";
    case LoopVariable::D: return "DSingle";
    case LoopVariable::Mode: break;
  }
  return "";
}

StatusCode CheckLoopWrite(LoopVariable variable, const opcua::Variant& value,
                          const LoopCommandState& state, char separator, LoopCommand& command) {
  if (variable == LoopVariable::Mode) {
    const std::optional<int64_t> mode = IntegerOf(value);
    if (!mode) return status::BadTypeMismatch;
    if (!Within(static_cast<double>(*mode), 0, kLoopObjectModeCount - 1)) return status::BadOutOfRange;
    command = Command(LoopCommand::Kind::SetMode, 0, static_cast<int32_t>(*mode));
    return status::Good;
  }
  double real = 0;
  if (StatusCode checked = RealOf(value, real); !checked.IsGood()) return checked;
  switch (variable) {
    case LoopVariable::SP:
      if (Manual(state)) return status::BadNotWritable;
      if (!Within(real, state.CVLow.load(), state.CVHigh.load())) return status::BadOutOfRange;
      break;
    case LoopVariable::OP:
      if (!Manual(state)) return status::BadNotWritable;
      if (!Within(real, kOutputLow, kOutputHigh)) return status::BadOutOfRange;
      break;
    case LoopVariable::P:
    case LoopVariable::I:
    case LoopVariable::D:
      if (real < 0) return status::BadOutOfRange;
      break;
    case LoopVariable::Mode:
      break;
  }
  // The edit gets the value in the notation the edit reads back exactly.
  command = Command(LoopCommand::Kind::EnterEdit);
  command.Edit = LoopVariableEdit(variable);
  command.Text = FormatRealDouble(static_cast<double>(static_cast<float>(real)), separator);
  return status::Good;
}

StatusCode CheckLoopCall(LoopMethod method, const std::vector<opcua::Variant>& inputs,
                         const LoopCommandState& state, LoopCommand& command) {
  using K = LoopCommand::Kind;
  const bool running = state.Running.load();
  switch (method) {
    case LoopMethod::StartRun:
      if (running || !state.CanStart.load()) return status::BadInvalidState;
      command = Command(K::StartRun);
      return status::Good;
    case LoopMethod::StopRun:
      if (!running) return status::BadInvalidState;
      command = Command(K::StopRun);
      return status::Good;
    case LoopMethod::StepSetPoint:
    case LoopMethod::StepOutput: {
      const bool output = method == LoopMethod::StepOutput;
      double delta = 0;
      if (inputs.size() != 1) return status::BadInvalidArgument;
      if (!RealOf(inputs[0], delta).IsGood()) return status::BadOutOfRange;
      if (Manual(state) != output) return status::BadInvalidState;
      const double target =
          static_cast<double>(output ? state.OPNew.load() : state.SPNew.load()) + delta;
      const bool inside = output ? Within(target, kOutputLow, kOutputHigh)
                                 : Within(target, state.CVLow.load(), state.CVHigh.load());
      if (!inside) return status::BadOutOfRange;
      command = Command(output ? K::StepOutput : K::StepSetPoint, delta);
      return status::Good;
    }
    case LoopMethod::SetSpeed: {
      const std::optional<int64_t> level = inputs.size() == 1 ? IntegerOf(inputs[0]) : std::nullopt;
      if (!level) return status::BadInvalidArgument;
      if (!Within(static_cast<double>(*level), 0, kFastestGaugeLevel)) return status::BadOutOfRange;
      command = Command(K::SetSpeed, 0, static_cast<int32_t>(*level));
      return status::Good;
    }
  }
  return status::BadInvalidArgument;
}

}  // namespace qx
