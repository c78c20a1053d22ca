// The CSV file of a sweep: three comment lines that say which grid and which
// run made it, a header, and one row per point in grid order. Shards of one
// sweep carry the same comment lines and header, so that they can be joined.
//
//   # grid: P=0.5:2:4 I=5:40:4
//   # run: case.pid --steps 2000 --seed 1 --at 10:SingleSPNew=55 --at 10:enter
//   # case: P=1 I=20
//   point,P,I,IAE,...,WindowStart,Stable
//   0,0.5,5,12.25,...,5,1
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sweep/SweepGrid.h"

namespace qx::sweep {

inline constexpr const char* kPointColumn = "point";
inline constexpr const char* kStableColumn = "Stable";

struct SweepTable {
  Grid TheGrid;
  std::string RunText;             // the run's settings as a command line
  std::vector<double> CaseValues;  // the case's own value on every axis
  // The columns after "point": the axes, the indices, "Stable".
  std::vector<std::string> Columns;
  std::map<int64_t, std::vector<std::string>> Rows;  // by point

  // The column's position in Columns, or -1.
  int ColumnIndex(const std::string& name) const;
};

// The whole file's text.
std::string TableText(const SweepTable& table);

// Reads a file that TableText wrote. False with a message naming the file
// and the line.
bool ReadTable(const std::string& path, SweepTable& table, std::string& error);

// Joins the shards of one sweep. False with a message when they are not of
// one grid and run, or when two give the same point different rows. `notes`
// receives what is not an error: points given by more than one file.
bool MergeTables(const std::vector<SweepTable>& parts, const std::vector<std::string>& names,
                 SweepTable& merged, std::vector<std::string>& notes, std::string& error);

// The points of the grid that have no row, as ranges ("5-9, 20"); empty
// when none is missing. At most `limit` ranges are listed, then "...".
std::string MissingPoints(const SweepTable& table, std::size_t limit = 20);

}  // namespace qx::sweep
