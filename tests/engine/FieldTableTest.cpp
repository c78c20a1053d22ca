#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "engine/FieldTable.h"

namespace qx {
namespace {

std::vector<std::string> NamesOf(std::string_view record) {
  std::vector<std::string> names;
  for (const FieldInfo& f : AllFields())
    if (f.record == record) names.emplace_back(f.field);
  return names;
}

TEST(FieldTable, RecordsAndFieldsInDeclaredOrder) {
  const std::vector<std::string> loop = {
      "Spare1", "Spare2", "Spare3", "P", "GapGain", "EffectiveP", "I", "D", "ExecPeriod",
      "CVLow", "CVHigh", "MVLow", "MVHigh", "InitialValveOpening", "OP", "OPPrev",
      "InitialValue", "SP", "SPPrev", "SPNew", "OPNew", "OPStep", "Equation", "PerfIndexType",
      "Mode", "Spare4", "SimTime", "OPOut", "Error", "ErrorPrev", "ErrorPrev2", "PVRaw", "PV",
      "PVSampled", "PVPrev", "PVPrev2", "FilterTimeConstant", "FilterEntered", "FilterRate",
      "FilterSlope", "PVSampleDelay", "DelayedOutput", "ModelOutput", "PVNoise", "ErrorChange",
      "ErrorChangePrev", "PVChange", "PVChangePrev", "IntegratorOffset", "StateSum", "InputGain",
      "LeadGain", "IntegratorRate", "ModelBias", "MV", "MVPrev", "MVChange", "TimeSinceExec",
      "SampleTimer", "DelayIndex", "DelaySteps", "DelayStepsExact", "Executed", "SPRateLimit",
      "Spare5", "GapLow", "GapHigh", "Transform", "Spare6"};
  const std::vector<std::string> model = {
      "Order", "DelayFlag", "Delay", "DelayAux", "DelayHigh", "DelayLow", "GainFlag", "Gain",
      "GainAux", "GainHigh", "GainLow", "TauFlag", "Tau1", "Tau2", "Tau3", "TauAux", "Tau1High",
      "Tau2High", "Tau1Low", "Tau2Low", "Flag4", "Flag5", "Lead"};
  const std::vector<std::string> signal = {"On", "Option", "Start", "End", "Size", "Rate"};
  EXPECT_EQ(NamesOf("SingleLoop"), loop);
  EXPECT_EQ(NamesOf("CascadeLoop"), loop);
  for (const char* r : {"ProcessModel", "CascadeProcessModel", "DisturbanceModel",
                        "DisturbanceModel2", "SmithModel", "FeedForwardModel"})
    EXPECT_EQ(NamesOf(r), model) << r;
  for (const char* r : {"StepSignal", "PulseSignal", "RampSignal", "SineSignal"})
    EXPECT_EQ(NamesOf(r), signal) << r;
  EXPECT_EQ(NamesOf("RunSettings"),
            (std::vector<std::string>{"VectorScale1", "VectorScale2", "VectorScale3", "TimeStep",
                                      "DataStart", "DataLength", "SimTime", "DisturbanceNoise",
                                      "Setting27", "Setting28"}));
  EXPECT_EQ(NamesOf("RunControl"),
            (std::vector<std::string>{"LoopConfiguration", "SingleConfiguration",
                                      "StopRequested", "ChangesPending", "ApplyInProgress",
                                      "SpeedCommand", "SpeedCommandPending", "SpeedChangeEnabled",
                                      "SleepMs", "SpeedLevel", "SingleModeSelect",
                                      "SingleAutoState", "SingleModeCode"}));

  std::vector<std::string> records;
  for (const FieldInfo& f : AllFields())
    if (records.empty() || records.back() != f.record) records.emplace_back(f.record);
  EXPECT_EQ(records, (std::vector<std::string>{
                         "SingleLoop", "CascadeLoop", "ProcessModel", "CascadeProcessModel",
                         "DisturbanceModel", "DisturbanceModel2", "SmithModel",
                         "FeedForwardModel", "StepSignal", "PulseSignal", "RampSignal",
                         "SineSignal", "RunSettings", "RunControl"}));
}

TEST(FieldTable, StoresAndShowsValuesByName) {
  LoopModel m;
  struct Case {
    const char* name;
    const char* text;
    const char* shown;
  };
  for (const Case c : {Case{"SingleLoop.P", "2.5", "2.5"}, Case{"ProcessModel.Order", "-3", "-3"},
                       Case{"RunControl.StopRequested", "1", "1"},
                       Case{"CascadeLoop.PerfIndexType", "65", "65"},
                       Case{"RunSettings.SimTime", "1e39", "3.40282347e+38"}}) {
    const FieldInfo* f = FindField(c.name);
    ASSERT_NE(f, nullptr) << c.name;
    EXPECT_EQ(StoreFieldText(m, *f, c.text), "") << c.name;
    EXPECT_EQ(FieldValueText(m, *f), c.shown) << c.name;
  }
  EXPECT_EQ(FindField("SingleLoop.Q"), nullptr);
  EXPECT_EQ(FindField("SingleLoopP"), nullptr);
  EXPECT_EQ(FindField("Single.P"), nullptr);
  const FieldInfo* p = FindField("SingleLoop.P");
  for (const char* bad : {"abc", "2.5x", "", "nan", "inf", "1e999", "0x10"})
    EXPECT_NE(StoreFieldText(m, *p, bad), "") << bad;
  EXPECT_EQ(m.SingleLoop.P, 2.5f) << "a rejected value stores nothing";
  const FieldInfo* flag = FindField("RunControl.ChangesPending");
  EXPECT_NE(StoreFieldText(m, *flag, "2"), "");
}

}  // namespace
}  // namespace qx
