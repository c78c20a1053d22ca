// "qxsim identify": fits process models to a stretch of a run's trace (a
// bump test) and prints them with the tunings they suggest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qx {

struct IdentifyOptions {
  std::string TracePath;
  std::string CasePath;  // empty: no case; its equation form and ranges
  std::optional<int64_t> From, To;  // steps of the trace, both included
  std::optional<int> Equation;      // 1..24
};

// Parses the arguments after "identify". False with a message naming the
// offending argument on a usage error.
bool ParseIdentifyOptions(const std::vector<std::string>& args, IdentifyOptions& options,
                          std::string& error);

// Reads the trace, fits the models and writes to standard output, the
// chosen model first:
//   <Model>.Gain/DeadTime/Tau1/Tau2/Fit/AIC=VALUE (Model: FirstOrder,
//   SecondOrder, Integrating; models that could not be fitted are left out),
//   Equation=N, then <Rule>.P/I/D=VALUE (Rule: SIMC, Lambda, ZieglerNichols)
// in the settings of equation form N. Returns 0, or 1 with one line on
// standard error when the trace cannot be read or gives no fit.
int IdentifyCommand(const IdentifyOptions& options);

}  // namespace qx
