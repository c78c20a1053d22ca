#include "analysis/StepIdentification.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "analysis/Minimise.h"

namespace qx::analysis {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Residuals below this fraction of the PV's magnitude are single-precision
// rounding, not misfit.
constexpr double kResolution = 2e-5;
// Search limits of the lags: below the step the explicit Euler recurrence
// stops being a lag; above a hundred times the stretch a lag is a ramp.
constexpr double kMinimumLag = 0.5;
constexpr double kMaximumLagFactor = 100.0;
// Search reach of the lags in their logarithms: from a starting point, and
// near a point already fitted.
constexpr double kFirstReach = 0.5;
constexpr double kNearReach = 0.1;
// A lag this close to the limit was stopped by it.
constexpr double kAtLimit = 0.99;
// The largest magnitude of a sample value the fit accepts.
constexpr double kLargestValue = 1e100;

// The stretch prepared for fitting.
struct FitData {
  std::vector<double> input;  // OP(k) - OP(0), percent
  std::vector<double> y;      // PV(k) - mean PV
  double yMean = 0;
  double sst = 0;             // sum of y^2
  double sqq = 0, sqy = 0;    // centred index q = k - (n-1)/2: sum q^2, sum q y
  double range = 0;
  double floorSSE = 0;
  int maxDelay = 0;           // dead time limit in steps
  double lagMax = 0;
};

// Linear least squares of y on a constant, optionally the centred index, and
// the unit response x shifted by d steps, through the normal equations.
struct LinearFit {
  double sse = kInfinity;
  double gain = 0, constant = 0, drift = 0;
};

// Solves the m x m system (m = 2 or 3) in place; false when singular.
bool SolveNormal(double a[3][3], double b[3], int m) {
  for (int c = 0; c < m; ++c) {
    int pivot = c;
    for (int r = c + 1; r < m; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    if (std::fabs(a[pivot][c]) < 1e-300) return false;
    std::swap(a[c], a[pivot]);
    std::swap(b[c], b[pivot]);
    for (int r = c + 1; r < m; ++r) {
      const double f = a[r][c] / a[c][c];
      for (int k = c; k < m; ++k) a[r][k] -= f * a[c][k];
      b[r] -= f * b[c];
    }
  }
  for (int r = m - 1; r >= 0; --r) {
    for (int k = r + 1; k < m; ++k) b[r] -= a[r][k] * b[k];
    b[r] /= a[r][r];
  }
  return true;
}

class ModelFitter {
 public:
  ModelFitter(const FitData& data, ModelKind kind) : d_(data), kind_(kind) {}

  FittedModel Fit(double firstOrderLag, int firstOrderDelay);

 private:
  // The fit with the response already simulated into x_, given its sums up
  // to `count` entries (sx, sxx, sjx = sum j x_j) and sum x_j y_{j+d}.
  LinearFit Solve(int d, double sx, double sxx, double sjx, double sxy) const;
  LinearFit FitShift(int d) const;
  // Sum over j of x(j) y(j + d).
  double CrossSum(int d) const;
  bool Simulate(double tau1, double tau2) { return UnitResponse(kind_, tau1, tau2, d_.input, x_); }
  double Cost(double tau1, double tau2, int d);
  // The dead time in lo..hi steps with the least SSE for the lags.
  int BestDelay(double tau1, double tau2, int lo, int hi, double& sse);
  // The lags with the least SSE for dead time d, searched from tau1, tau2
  // within about `reach` in their logarithms (wider for the first order,
  // whose search is a bracket of four times the reach either way).
  double OptimiseLags(int d, double& tau1, double& tau2, double reach);

  const FitData& d_;
  ModelKind kind_;
  std::vector<double> x_, px_, pxx_, pjx_;
};

LinearFit ModelFitter::Solve(int d, double sx, double sxx, double sjx, double sxy) const {
  const double n = static_cast<double>(d_.y.size());
  const bool drift = kind_ == ModelKind::Integrating;
  // Unknowns: constant, (drift,) gain. sum q = 0 and sum y = 0 by centring.
  const double centre = (n - 1) / 2;
  const double sqx = sjx + (d - centre) * sx;
  double a[3][3] = {};
  double b[3] = {};
  a[0][0] = n;
  if (drift) {
    a[0][1] = a[1][0] = 0;
    a[0][2] = a[2][0] = sx;
    a[1][1] = d_.sqq;
    a[1][2] = a[2][1] = sqx;
    a[2][2] = sxx;
    b[0] = 0;
    b[1] = d_.sqy;
    b[2] = sxy;
  } else {
    a[0][1] = a[1][0] = sx;
    a[1][1] = sxx;
    b[0] = 0;
    b[1] = sxy;
  }
  const int m = drift ? 3 : 2;
  double rhs[3] = {b[0], b[1], b[2]};
  LinearFit fit;
  if (!SolveNormal(a, b, m)) return fit;
  double explained = 0;
  for (int i = 0; i < m; ++i) explained += b[i] * rhs[i];
  fit.sse = std::max(0.0, d_.sst - explained);
  fit.constant = b[0];
  if (drift) {
    fit.drift = b[1];
    fit.gain = b[2];
  } else {
    fit.gain = b[1];
  }
  return fit;
}

double ModelFitter::CrossSum(int d) const {
  // Four partial sums let the additions overlap.
  const size_t count = d_.y.size() - static_cast<size_t>(d);
  const double* x = x_.data();
  const double* y = d_.y.data() + d;
  double s[4] = {0, 0, 0, 0};
  size_t j = 0;
  for (; j + 4 <= count; j += 4)
    for (int lane = 0; lane < 4; ++lane) s[lane] += x[j + lane] * y[j + lane];
  for (; j < count; ++j) s[0] += x[j] * y[j];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

LinearFit ModelFitter::FitShift(int d) const {
  const size_t n = d_.y.size();
  const size_t count = n - static_cast<size_t>(d);
  double sx = 0, sxx = 0, sjx = 0;
  for (size_t j = 0; j < count; ++j) {
    const double x = x_[j];
    sx += x;
    sxx += x * x;
    sjx += static_cast<double>(j) * x;
  }
  return Solve(d, sx, sxx, sjx, CrossSum(d));
}

double ModelFitter::Cost(double tau1, double tau2, int d) {
  if (!Simulate(tau1, tau2)) return kInfinity;
  return FitShift(d).sse;
}

int ModelFitter::BestDelay(double tau1, double tau2, int lo, int hi, double& sse) {
  sse = kInfinity;
  if (!Simulate(tau1, tau2)) return 0;
  const size_t n = d_.y.size();
  px_.assign(n + 1, 0);
  pxx_.assign(n + 1, 0);
  pjx_.assign(n + 1, 0);
  for (size_t j = 0; j < n; ++j) {
    px_[j + 1] = px_[j] + x_[j];
    pxx_[j + 1] = pxx_[j] + x_[j] * x_[j];
    pjx_[j + 1] = pjx_[j] + static_cast<double>(j) * x_[j];
  }
  auto at = [&](int d) {
    const size_t count = n - static_cast<size_t>(d);
    return Solve(d, px_[count], pxx_[count], pjx_[count], CrossSum(d)).sse;
  };
  // The SSE changes smoothly with the shift: a coarse pass over the range,
  // then passes at an eighth of the stride around the best so far, down to
  // single steps.
  int stride = std::max(1, (hi - lo) / 64);
  int best = lo;
  auto scan = [&](int from, int to, int by) {
    for (int d = from; d <= to; d += by) {
      const double s = at(d);
      if (s < sse) {
        sse = s;
        best = d;
      }
    }
  };
  scan(lo, hi, stride);
  while (stride > 1) {
    const int finer = std::max(1, stride / 8);
    scan(std::max(lo, best - stride + finer), std::min(hi, best + stride - finer), finer);
    stride = finer;
  }
  return best;
}

double ModelFitter::OptimiseLags(int d, double& tau1, double& tau2, double reach) {
  if (kind_ == ModelKind::Integrating) return Cost(0, 0, d);
  if (kind_ == ModelKind::FirstOrder) {
    auto f = [&](double logTau) { return Cost(std::exp(logTau), 0, d); };
    const double lo = std::max(std::log(kMinimumLag), std::log(tau1) - 4 * reach);
    const double hi = std::min(std::log(d_.lagMax), std::log(tau1) + 4 * reach);
    tau1 = std::exp(GoldenSection(f, lo, hi, 1e-7, 80));
    return Cost(tau1, 0, d);
  }
  // The same limits for the second order: its lags are at most lagMax.
  const double logLagMax = std::log(d_.lagMax);
  auto f = [&](const std::array<double, 2>& p) {
    if (p[1] > logLagMax || p[0] > 2 * logLagMax) return kInfinity;
    return Cost(std::exp(p[0]), std::exp(p[1]), d);
  };
  const auto p = NelderMead2(f, {std::log(tau1), std::log(tau2)}, {reach, reach}, 1e-5, 300);
  tau1 = std::exp(p[0]);
  tau2 = std::exp(p[1]);
  return Cost(tau1, tau2, d);
}

FittedModel ModelFitter::Fit(double firstOrderLag, int firstOrderDelay) {
  double tau1 = 0, tau2 = 0, sse = kInfinity;
  int d = 0;
  if (kind_ == ModelKind::Integrating) {
    d = BestDelay(0, 0, 0, d_.maxDelay, sse);
  } else {
    // Starting points: for the first order a spread of lags over the range;
    // for the second order splits of the first-order lag into two.
    std::vector<std::array<double, 2>> starts;
    if (kind_ == ModelKind::FirstOrder) {
      for (double lag = 1; lag < d_.lagMax; lag *= 4) starts.push_back({lag, 0});
    } else {
      for (double ratio : {0.05, 0.3, 1.0}) {
        const double t1 = firstOrderLag / (1 + ratio), t2 = ratio * t1;
        starts.push_back({t1 * t2, t1 + t2});
      }
    }
    tau1 = starts.front()[0];
    tau2 = starts.front()[1];
    d = std::clamp(firstOrderDelay, 0, d_.maxDelay);
    for (const auto& s : starts) {
      double cost;
      const int delay = BestDelay(s[0], s[1], 0, d_.maxDelay, cost);
      if (cost < sse) {
        sse = cost;
        tau1 = s[0];
        tau2 = s[1];
        d = delay;
      }
    }
    // Alternate lags and dead time until the dead time stays.
    for (int round = 0; round < 10; ++round) {
      sse = OptimiseLags(d, tau1, tau2, round == 0 ? kFirstReach : kNearReach);
      double shifted;
      const int next = BestDelay(tau1, tau2, 0, d_.maxDelay, shifted);
      if (next == d || !(shifted < sse)) break;
      d = next;
    }
    // Lags and dead time trade against each other: walk the dead time along
    // the grid while the re-fitted lags improve the fit, doubling the stride
    // after each success and halving it after each failure.
    for (int direction : {-1, 1}) {
      for (int stride = 1; stride >= 1;) {
        const int next = d + direction * stride;
        double t1 = tau1, t2 = tau2;
        const double s = next < 0 || next > d_.maxDelay ? kInfinity
                                                        : OptimiseLags(next, t1, t2, kNearReach);
        if (s < sse) {
          sse = s;
          d = next;
          tau1 = t1;
          tau2 = t2;
          stride *= 2;
        } else {
          stride /= 2;
        }
      }
    }
  }

  FittedModel m;
  m.Kind = kind_;
  if (!Simulate(tau1, tau2)) return m;
  const LinearFit fit = FitShift(d);
  if (!std::isfinite(fit.sse)) return m;
  const double n = static_cast<double>(d_.y.size());
  m.Fitted = true;
  m.DeadTime = d * kStepTime;
  m.Tau1 = tau1;
  m.Tau2 = tau2;
  m.SSE = fit.sse;
  m.Parameters = kind_ == ModelKind::SecondOrder ? 5 : 4;
  m.RSquared = d_.sst > 0 ? 1 - fit.sse / d_.sst : 0;
  m.NormalisedRMS = d_.range > 0 ? std::sqrt(fit.sse / n) / d_.range : 0;
  m.Criterion = n * std::log(std::max(fit.sse, d_.floorSSE) / n) + 2 * m.Parameters;
  m.Drift = fit.drift / kStepTime;
  m.Offset = d_.yMean + fit.constant - fit.drift * (n - 1) / 2;
  m.Gain = fit.gain;  // per percent of output until scaled by the caller
  if (kind_ == ModelKind::FirstOrder) {
    m.Lag1 = tau1;
    m.LagAtLimit = tau1 >= kAtLimit * d_.lagMax;
  } else if (kind_ == ModelKind::SecondOrder) {
    const double disc = tau2 * tau2 - 4 * tau1;
    m.RealLags = disc >= 0;
    if (m.RealLags) {
      m.Lag1 = (tau2 + std::sqrt(disc)) / 2;
      m.Lag2 = (tau2 - std::sqrt(disc)) / 2;
    } else {
      m.Lag1 = m.Lag2 = std::sqrt(tau1);
    }
    m.LagAtLimit = tau2 >= kAtLimit * d_.lagMax || tau1 >= kAtLimit * d_.lagMax * d_.lagMax;
  }
  return m;
}

IdentificationResult Fail(IdentificationStatus status, const std::string& message) {
  IdentificationResult r;
  r.Status = status;
  r.Message = message;
  return r;
}

}  // namespace

IdentificationResult IdentifyStepResponse(std::span<const LoopSample> stretch,
                                          const ProcessScaling& scaling) {
  const double span = scaling.CVHigh - scaling.CVLow;
  if (!std::isfinite(span) || !(span > 0) || !std::isfinite(scaling.MVHigh) || !(scaling.MVHigh > 0)) {
    std::ostringstream s;
    s << "identification: the CV range " << scaling.CVLow << " .. " << scaling.CVHigh
      << " must be increasing and MVHigh " << scaling.MVHigh << " above 0";
    return Fail(IdentificationStatus::BadScaling, s.str());
  }
  const size_t n = stretch.size();
  if (n < kMinimumSamples) {
    std::ostringstream s;
    s << "identification: the stretch holds " << n << " samples; at least " << kMinimumSamples
      << " are needed";
    return Fail(IdentificationStatus::TooFewSamples, s.str());
  }
  for (size_t k = 0; k < n; ++k) {
    const LoopSample& p = stretch[k];
    // Sums of squares of larger values would overflow; no single-precision
    // run produces them.
    auto bad = [](double v) { return !(std::fabs(v) <= kLargestValue); };
    const char* name = bad(p.t) ? "t" : bad(p.PV) ? "PV" : bad(p.OP) ? "OP" : nullptr;
    if (name) {
      std::ostringstream s;
      s << "identification: sample " << k << " has a " << name
        << " that is not a finite number within +-" << kLargestValue;
      return Fail(IdentificationStatus::NonFiniteValue, s.str());
    }
    // Consecutive steps are 0.5 apart; the run's clock may wrap to 0.
    if (k > 0 && p.t != 0 && std::fabs(p.t - stretch[k - 1].t - kStepTime) > 1e-3) {
      std::ostringstream s;
      s << "identification: samples " << k - 1 << " and " << k << " are "
        << p.t - stretch[k - 1].t << " apart; the stretch must hold consecutive steps 0.5 apart";
      return Fail(IdentificationStatus::IrregularSteps, s.str());
    }
  }

  FitData data;
  data.input.resize(n);
  data.y.resize(n);
  size_t firstStep = n;
  double yMin = stretch[0].PV, yMax = stretch[0].PV, yAbs = 0;
  for (size_t k = 0; k < n; ++k) {
    data.input[k] = stretch[k].OP - stretch[0].OP;
    if (firstStep == n && std::fabs(data.input[k]) > 1e-6) firstStep = k;
    yMin = std::min(yMin, stretch[k].PV);
    yMax = std::max(yMax, stretch[k].PV);
    yAbs = std::max(yAbs, std::fabs(stretch[k].PV));
    data.yMean += stretch[k].PV;
  }
  if (firstStep == n) {
    std::ostringstream s;
    s << "identification: the output stays at " << stretch[0].OP
      << " throughout the stretch; a bump test needs at least one output step";
    return Fail(IdentificationStatus::NoOutputStep, s.str());
  }
  data.range = yMax - yMin;
  if (!(data.range > 1e-9 * std::max(span, yAbs))) {
    std::ostringstream s;
    s << "identification: the PV stays at " << stretch[0].PV << " throughout the stretch";
    return Fail(IdentificationStatus::NoResponse, s.str());
  }
  data.yMean /= static_cast<double>(n);
  const double centre = (static_cast<double>(n) - 1) / 2;
  for (size_t k = 0; k < n; ++k) {
    data.y[k] = stretch[k].PV - data.yMean;
    data.sst += data.y[k] * data.y[k];
    const double q = static_cast<double>(k) - centre;
    data.sqq += q * q;
    data.sqy += q * data.y[k];
  }
  const double resolution = kResolution * std::max(yAbs, data.range);
  data.floorSSE = static_cast<double>(n) * resolution * resolution;
  // The response must be seen for a quarter of the stretch after the first
  // step (and 10 steps at least) to tell a dead time from a lag.
  const int after = static_cast<int>(n - firstStep);
  data.maxDelay = std::max(0, after - std::max(10, after / 4));
  data.lagMax = kMaximumLagFactor * static_cast<double>(n) * kStepTime;

  IdentificationResult result;
  ModelFitter first(data, ModelKind::FirstOrder);
  result.Models.push_back(first.Fit(0, -1));
  const FittedModel& fo = result.Models.front();
  ModelFitter second(data, ModelKind::SecondOrder);
  result.Models.push_back(second.Fit(fo.Fitted ? fo.Tau1 : 10.0,
                                     fo.Fitted ? static_cast<int>(fo.DeadTime / kStepTime) : 0));
  ModelFitter integrating(data, ModelKind::Integrating);
  result.Models.push_back(integrating.Fit(0, -1));

  for (FittedModel& m : result.Models) {
    const double perPercent = m.Gain;  // PV units per percent of output
    m.Gain = perPercent * 100.0 / scaling.MVHigh;
    m.PercentGain = perPercent * 100.0 / span;
  }
  // A lag model stopped by the lag limit is an integrator in disguise; it
  // competes only when nothing else was fitted.
  for (bool allowLimit : {false, true}) {
    for (size_t i = 0; i < result.Models.size(); ++i) {
      const FittedModel& m = result.Models[i];
      if (!m.Fitted || (m.LagAtLimit && !allowLimit)) continue;
      if (result.Best < 0 || m.Criterion < result.Models[result.Best].Criterion - 1e-9 ||
          (m.Criterion <= result.Models[result.Best].Criterion + 1e-9 &&
           m.Parameters < result.Models[result.Best].Parameters))
        result.Best = static_cast<int>(i);
    }
    if (result.Best >= 0) break;
  }
  if (result.Best < 0) {
    result.Status = IdentificationStatus::NoModelFitted;
    result.Message = "identification: no model gave a stable fit of the stretch";
  }
  return result;
}

}  // namespace qx::analysis
