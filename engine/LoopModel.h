// The loop data model: the plain records that every other part of the
// system reads and writes. All of them are zero-filled at construction;
// working values come from a case file or from the operator's controls.
//
// Every record's fields are listed once, in declared order, by an X-macro
// so that the struct and the name table in FieldTable.h cannot drift apart.
#pragma once

#include <atomic>
#include <cstdint>

namespace qx {

// The simulation step in time units: a run advances its clock by this much
// at every step, and RunSettings.TimeStep always holds it.
inline constexpr float kTimeStep = 0.5f;

// X(type, name) for each field of a controller-loop record.
#define QX_PIDLOOP_FIELDS(X)                                                  \
  X(int32_t, Spare1) X(int32_t, Spare2) X(int32_t, Spare3)                    \
  X(float, P) X(float, GapGain) X(float, EffectiveP) X(float, I) X(float, D)  \
  X(float, ExecPeriod) X(float, CVLow) X(float, CVHigh) X(float, MVLow)       \
  X(float, MVHigh) X(float, InitialValveOpening) X(float, OP)                 \
  X(float, OPPrev) X(float, InitialValue) X(float, SP) X(float, SPPrev)       \
  X(float, SPNew) X(float, OPNew) X(float, OPStep) X(int32_t, Equation)       \
  X(char, PerfIndexType) X(int32_t, Mode) X(float, Spare4) X(float, SimTime)  \
  X(float, OPOut) X(float, Error) X(float, ErrorPrev) X(float, ErrorPrev2)    \
  X(float, PVRaw) X(float, PV) X(float, PVSampled) X(float, PVPrev)           \
  X(float, PVPrev2) X(float, FilterTimeConstant) X(float, FilterEntered)      \
  X(float, FilterRate) X(float, FilterSlope) X(float, PVSampleDelay)          \
  X(float, DelayedOutput) X(float, ModelOutput) X(float, PVNoise)             \
  X(float, ErrorChange) X(float, ErrorChangePrev) X(float, PVChange)          \
  X(float, PVChangePrev) X(float, IntegratorOffset) X(float, StateSum)        \
  X(float, InputGain) X(float, LeadGain) X(float, IntegratorRate)             \
  X(float, ModelBias) X(float, MV) X(float, MVPrev) X(float, MVChange)        \
  X(float, TimeSinceExec) X(float, SampleTimer) X(int32_t, DelayIndex)        \
  X(int32_t, DelaySteps) X(float, DelayStepsExact) X(int32_t, Executed)       \
  X(float, SPRateLimit) X(float, Spare5) X(float, GapLow) X(float, GapHigh)   \
  X(int32_t, Transform) X(int32_t, Spare6)

// X(type, name) for each field of a transfer-function record.
#define QX_MODELPARAMS_FIELDS(X)                                              \
  X(int32_t, Order) X(int32_t, DelayFlag) X(float, Delay) X(float, DelayAux)  \
  X(float, DelayHigh) X(float, DelayLow) X(int32_t, GainFlag) X(float, Gain)  \
  X(float, GainAux) X(float, GainHigh) X(float, GainLow) X(int32_t, TauFlag)  \
  X(float, Tau1) X(float, Tau2) X(float, Tau3) X(float, TauAux)               \
  X(float, Tau1High) X(float, Tau2High) X(float, Tau1Low) X(float, Tau2Low)   \
  X(int32_t, Flag4) X(int32_t, Flag5) X(float, Lead)

// X(type, name) for each field of a disturbance-signal record.
#define QX_SIGNALPARAMS_FIELDS(X)                                             \
  X(int32_t, On) X(int32_t, Option) X(float, Start) X(float, End)             \
  X(float, Size) X(float, Rate)

#define QX_RUNSETTINGS_FIELDS(X)                                              \
  X(float, VectorScale1) X(float, VectorScale2) X(float, VectorScale3)        \
  X(float, TimeStep) X(float, DataStart) X(float, DataLength)                 \
  X(float, SimTime) X(float, DisturbanceNoise) X(float, Setting27)            \
  X(float, Setting28)

#define QX_RUNCONTROL_FIELDS(X)                                               \
  X(int32_t, LoopConfiguration) X(bool, SingleConfiguration)                  \
  X(bool, StopRequested) X(bool, ChangesPending) X(bool, ApplyInProgress)     \
  X(int32_t, SpeedCommand) X(bool, SpeedCommandPending)                       \
  X(bool, SpeedChangeEnabled) X(float, SleepMs) X(int32_t, SpeedLevel)        \
  X(int32_t, SingleModeSelect) X(int32_t, SingleAutoState)                    \
  X(int32_t, SingleModeCode)

#define QX_DECLARE_FIELD(type, name) type name{};

// A controller loop: tuning, ranges, and the working values of a run.
struct PIDLoop {
  QX_PIDLOOP_FIELDS(QX_DECLARE_FIELD)
};

// A transfer function: gain, dead time, lags, lead and their stored bounds.
struct ModelParams {
  QX_MODELPARAMS_FIELDS(QX_DECLARE_FIELD)
};

// A test signal (step, pulse, ramp or sine) that drives the disturbances.
struct SignalParams {
  QX_SIGNALPARAMS_FIELDS(QX_DECLARE_FIELD)
};

struct RunSettingsRecord {
  QX_RUNSETTINGS_FIELDS(QX_DECLARE_FIELD)
};

// Flags and values through which the operator's handlers talk to a run.
struct RunControlRecord {
  QX_RUNCONTROL_FIELDS(QX_DECLARE_FIELD)

  // A run start was requested while a run was active: that run ends at its
  // next check as if stopped, and the start that it interrupted begins the
  // new run once its loop has returned. Not a stored field: the case file
  // and the field table do not hold it.
  bool RestartPending = false;
};

// The run ends at its next check: stopped, or to make way for a new run.
inline bool RunEndRequested(const RunControlRecord& c) { return c.StopRequested || c.RestartPending; }

#undef QX_DECLARE_FIELD

// X(type, instance) for every record instance, in declared order.
#define QX_LOOPMODEL_RECORDS(X)                                               \
  X(PIDLoop, SingleLoop) X(PIDLoop, CascadeLoop)                              \
  X(ModelParams, ProcessModel) X(ModelParams, CascadeProcessModel)            \
  X(ModelParams, DisturbanceModel) X(ModelParams, DisturbanceModel2)          \
  X(ModelParams, SmithModel) X(ModelParams, FeedForwardModel)                 \
  X(SignalParams, StepSignal) X(SignalParams, PulseSignal)                    \
  X(SignalParams, RampSignal) X(SignalParams, SineSignal)                     \
  X(RunSettingsRecord, RunSettings) X(RunControlRecord, RunControl)

// Every record instance of the loop data model. The application owns exactly
// one; tests and batch runs may hold several.
struct LoopModel {
#define QX_DECLARE_RECORD(type, name) type name{};
  QX_LOOPMODEL_RECORDS(QX_DECLARE_RECORD)
#undef QX_DECLARE_RECORD
};

// SingleLoop.P and SingleLoop.I are also stored by OPC client writes on a
// server thread while a run reads them. Every access that may overlap such a
// write goes through these relaxed atomic operations, which keep the plain
// float layout of the record and make the access data-race free.
inline float LoadShared(const float& field) {
  return std::atomic_ref<float>(const_cast<float&>(field)).load(std::memory_order_relaxed);
}
inline void StoreShared(float& field, float value) {
  std::atomic_ref<float>(field).store(value, std::memory_order_relaxed);
}

}  // namespace qx
