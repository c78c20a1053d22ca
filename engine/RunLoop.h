// A run: one continuous simulation of the single loop in steps of 0.5 time
// units, until a stop is requested. It records a trend sample every second
// step, publishes the loop values with it, executes the controller when its
// period is due, advances the plant, paces itself and lets its host process
// messages between steps.
#pragma once

#include "engine/RunHost.h"
#include "engine/Simulation.h"

namespace qx {

// The run-start command: resets the per-run settings and flags, then
// StartRun. Returns when the run has ended (at once while ApplyInProgress).
// Called while a run is active (and not for Apply Changes), it asks that run
// to end and returns at once; the call that started the active run then
// starts the new one (RunControl.RestartPending).
void SinglePID1Click(Simulation& sim, RunHost& host);

// Preparations of a run (the inputs are read again), then RunSimulation.
void StartRun(Simulation& sim, RunHost& host);

// The run itself; returns when it has ended.
void RunSimulation(Simulation& sim, RunHost& host);

// Releases every run buffer still held; does nothing when none is.
void ReleaseRunBuffers(Simulation& sim);

// The pickup of pending changes: re-reads the tuning controls through the
// host, normalises, and re-derives what depends on them.
void PickUpChanges(Simulation& sim, RunHost& host);

// Applies RunControl.SpeedCommand when SpeedChangeEnabled is set.
void ApplySpeedCommand(RunControlRecord& control);

}  // namespace qx
