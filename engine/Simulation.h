// Everything the engine keeps for the life of the process: the loop data
// model, the generator and signal memories, and the state of the run.
#pragma once

#include <cstdint>

#include "engine/Controller.h"
#include "engine/LoopModel.h"
#include "engine/Plant.h"
#include "engine/Random.h"
#include "engine/RunBuffers.h"

namespace qx {

// State that belongs to one run.
struct RunState {
  float t = 0;              // simulation clock, time units
  int StepIndex = 0;        // position in the delay lines, wraps after kLastStepIndex
  int SampleCount = 0;      // samples in the trend window = next sample index
  int WindowSteps = 0;      // steps since the window was last compacted
  int64_t StepsDone = 0;    // completed steps since the run started; never wraps
  bool Active = false;      // a run is executing
  float DisturbancePrev = 0;
  DisturbancePathState Path1, Path2;
};

struct Simulation {
  LoopModel Model;
  SignalState Signal;          // lives across runs
  OutputStepState OutputStep;  // lives across runs
  RandomSource Random;
  RunState Run;
  RunBuffers Buffers;
};

}  // namespace qx
