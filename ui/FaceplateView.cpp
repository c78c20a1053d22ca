#include "ui/FaceplateView.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace qx {
namespace {

// Two decimals read to a hundredth of a percent of the starting case's
// 0 .. 100 range, which is what an operator compares.
constexpr int kDecimals = 2;
constexpr double kOutputLow = 0;
constexpr double kOutputHigh = 100;

// '.' whatever the C locale, as the window's edits show numbers.
std::string Fixed(double value, int decimals) {
  char text[64];
  const auto [end, status] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return status == std::errc() ? std::string(text, end) : std::string("?");
}

double FractionOf(double value, double low, double high) {
  if (!(high > low) || !std::isfinite(value)) return 0;
  return std::clamp((value - low) / (high - low), 0.0, 1.0);
}

FaceplateReading Reading(const char* name, double value, const char* unit, double low, double high) {
  return {name, Fixed(value, kDecimals), unit, FractionOf(value, low, high), Fixed(low, 0), Fixed(high, 0)};
}

}  // namespace

FaceplateView DescribeFaceplate(const PIDLoop& loop) {
  const double low = loop.CVLow, high = loop.CVHigh;
  return {{Reading("PV", loop.PV, kCvUnitText, low, high), Reading("SP", loop.SP, kCvUnitText, low, high),
           Reading("OP", loop.OPOut, kOutputUnitText, kOutputLow, kOutputHigh)},
          loop.Mode == 0 ? "Manual" : "Auto"};
}

}  // namespace qx
