// The CSV trace of "qxsim run --trace": its header, and the reading of the
// per-step values the loop analysis needs back out of a trace file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/LoopSample.h"

namespace qx {

// The first line of every trace; one row per completed step follows.
inline constexpr const char* kTraceHeader =
    "step,t,SP,PV,OP,OPOut,MV,ModelOutput,DelayedOutput,PVRaw,D,Mode,SPNew,OPNew,P,I,"
    "EffectiveP,Error\n";

// One row of a trace as the analysis reads it.
struct TraceStep {
  int64_t Step = 0;
  analysis::LoopSample Sample;  // t counted as Step x 0.5, so a wrap of the
                                // run's clock does not break a stretch
  double OPOut = 0;             // the output as the plant took it, 0..100
  double MV = 0;                // OPOut / 100 x MVHigh
};

// A row of the trace's 18 columns at full precision takes some hundreds of
// bytes; a header with extra columns fits as well.
inline constexpr std::size_t kMaxTraceLineBytes = 4096;
// About a million steps of a trace (some 64 MB once read); a larger file
// is refused before it is read.
inline constexpr std::size_t kMaxTraceBytes = std::size_t{256} << 20;

// Reads the trace at `path`. A file is taken as a trace when its first line
// names at least the columns step, SP, PV, OP, OPOut, MV and Mode (the
// columns may come in any order, others are ignored). Only a regular file
// of at most kMaxTraceBytes whose lines are text of at most
// kMaxTraceLineBytes is read, and opening never blocks (a FIFO is refused).
// False with a message naming the file and what it is instead (a folder, a
// FIFO, a device, too large, binary data or a too-long line at line N) or,
// for a bad row, its line number.
bool ReadTraceFile(const std::string& path, std::vector<TraceStep>& steps, std::string& error);

}  // namespace qx
