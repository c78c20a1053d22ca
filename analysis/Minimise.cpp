#include "analysis/Minimise.h"

#include <algorithm>
#include <cmath>

namespace qx::analysis {

double GoldenSection(const std::function<double(double)>& f, double lo, double hi,
                     double tolerance, int maxEvaluations) {
  const double r = (std::sqrt(5.0) - 1) / 2;
  double a = lo, b = hi;
  double c = b - r * (b - a), d = a + r * (b - a);
  double fc = f(c), fd = f(d);
  int evaluations = 2;
  while (b - a > tolerance && evaluations < maxEvaluations) {
    if (fc <= fd) {
      b = d;
      d = c;
      fd = fc;
      c = b - r * (b - a);
      fc = f(c);
    } else {
      a = c;
      c = d;
      fc = fd;
      d = a + r * (b - a);
      fd = f(d);
    }
    ++evaluations;
  }
  return fc <= fd ? c : d;
}

std::array<double, 2> NelderMead2(const std::function<double(const std::array<double, 2>&)>& f,
                                  std::array<double, 2> start, std::array<double, 2> step,
                                  double tolerance, int maxEvaluations) {
  using Point = std::array<double, 2>;
  std::array<Point, 3> p = {start, Point{start[0] + step[0], start[1]},
                            Point{start[0], start[1] + step[1]}};
  std::array<double, 3> v = {f(p[0]), f(p[1]), f(p[2])};
  int evaluations = 3;
  auto combine = [](const Point& a, const Point& b, double w) {
    return Point{a[0] + w * (b[0] - a[0]), a[1] + w * (b[1] - a[1])};
  };
  while (evaluations < maxEvaluations) {
    std::array<int, 3> order = {0, 1, 2};
    std::sort(order.begin(), order.end(), [&](int i, int j) { return v[i] < v[j]; });
    const int best = order[0], mid = order[1], worst = order[2];
    const double size = std::max({std::fabs(p[worst][0] - p[best][0]), std::fabs(p[mid][0] - p[best][0]),
                                  std::fabs(p[worst][1] - p[best][1]), std::fabs(p[mid][1] - p[best][1])});
    if (size < tolerance) break;

    const Point centre = combine(p[best], p[mid], 0.5);
    const Point reflected = combine(centre, p[worst], -1.0);
    const double fr = f(reflected);
    ++evaluations;
    if (fr < v[best]) {
      const Point expanded = combine(centre, p[worst], -2.0);
      const double fe = f(expanded);
      ++evaluations;
      if (fe < fr) {
        p[worst] = expanded;
        v[worst] = fe;
      } else {
        p[worst] = reflected;
        v[worst] = fr;
      }
    } else if (fr < v[mid]) {
      p[worst] = reflected;
      v[worst] = fr;
    } else {
      const bool outside = fr < v[worst];
      const Point contracted = combine(centre, outside ? reflected : p[worst], 0.5);
      const double fk = f(contracted);
      ++evaluations;
      if (fk < (outside ? fr : v[worst])) {
        p[worst] = contracted;
        v[worst] = fk;
      } else {
        // Shrink towards the best point.
        for (int i : {mid, worst}) {
          p[i] = combine(p[best], p[i], 0.5);
          v[i] = f(p[i]);
          ++evaluations;
        }
      }
    }
  }
  const int best = static_cast<int>(std::min_element(v.begin(), v.end()) - v.begin());
  return p[best];
}

}  // namespace qx::analysis
