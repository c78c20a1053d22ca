// What the faceplate beside the trends shows, free of any GUI toolkit: PV,
// SP and OP as numbers with their units, where each stands within its range
// (for the bars), and the loop's mode.
#pragma once

#include <array>
#include <string>

#include "engine/LoopModel.h"

namespace qx {

struct FaceplateReading {
  const char* Name;    // "PV", "SP", "OP"
  std::string Value;   // the number as shown
  const char* Unit;    // the unit text under it
  double Fraction;     // where the value stands in its range, 0 .. 1
  std::string Low, High;  // the range's ends, as the bar's scale
  bool operator==(const FaceplateReading&) const = default;
};

struct FaceplateView {
  std::array<FaceplateReading, 3> Readings;  // PV, SP, OP
  const char* Mode;                          // "Manual" or "Auto"
  bool operator==(const FaceplateView&) const = default;
};

// The case names no engineering unit: PV and SP are shown in the units of
// the CV range, and say so.
inline constexpr const char* kCvUnitText = "CV units";
inline constexpr const char* kOutputUnitText = "%";

// PV and SP within the CV range (CVLow .. CVHigh), OP as the process
// receives it (OPOut, 0 .. 100 %); numbers with '.' as the decimal point.
FaceplateView DescribeFaceplate(const PIDLoop& loop);

}  // namespace qx
