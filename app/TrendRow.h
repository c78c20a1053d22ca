// One sample of the trend window as the charts show it, the unit of what
// "Export Trends" writes and "Identify and Tune" fits.
#pragma once

namespace qx {

struct TrendRow {
  double Time = 0;  // the charts' time axis
  double Clock = 0; // the run's clock when the sample was taken
  double SP = 0;    // engineering units
  double PV = 0;    // engineering units
  double OP = 0;    // controller output, percent
};

}  // namespace qx
