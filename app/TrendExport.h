// "Export Trends": the trend window as a CSV file, one line a sample.
#pragma once

#include <span>
#include <string>

#include "app/TrendRow.h"

namespace qx {

// `time` is the charts' time axis, `t` the run's clock at the sample (the
// `t` of a trace's rows), so a file can be joined with a trace.
inline constexpr const char* kTrendCsvHeader = "time,t,SP,PV,OP";

// The header line and one "time,t,SP,PV,OP" line a row. Numbers are written
// with '.' whatever the user's locale, as the shortest text that reads back
// to the same single-precision value the trends hold.
std::string TrendCsv(std::span<const TrendRow> rows);

// Writes TrendCsv(rows) to `path`; false with `error` naming the path and
// the system's reason when the file cannot be written.
bool WriteTrendCsv(const std::string& path, std::span<const TrendRow> rows, std::string& error);

}  // namespace qx
