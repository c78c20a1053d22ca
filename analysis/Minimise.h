// Derivative-free minimisers for the few nonlinear parameters of a model
// fit (the lags); the linear ones are solved in closed form by the caller.
#pragma once

#include <array>
#include <functional>

namespace qx::analysis {

// Golden-section search of f on [lo, hi]; returns the best argument found.
// f need not be unimodal on the whole interval, but then the result is only
// a local minimum.
double GoldenSection(const std::function<double(double)>& f, double lo, double hi,
                     double tolerance, int maxEvaluations);

// Nelder-Mead simplex in two dimensions from `start` with initial steps
// `step`; stops when the simplex is smaller than `tolerance` in every
// coordinate or after `maxEvaluations`. Returns the best point found.
std::array<double, 2> NelderMead2(const std::function<double(const std::array<double, 2>&)>& f,
                                  std::array<double, 2> start, std::array<double, 2> step,
                                  double tolerance, int maxEvaluations);

}  // namespace qx::analysis
