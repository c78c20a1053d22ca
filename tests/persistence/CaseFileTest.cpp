#include "persistence/CaseFile.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <set>

#include "TestSupport.h"
#include "engine/FieldTable.h"
#include "persistence/CaseLineTable.h"
#include "persistence/CompressedLineFile.h"

namespace qx {
namespace {

using test::RecordingHost;
using test::TempDir;

// Bytes of every field of the model, for "unchanged" comparisons.
std::string ModelBytes(const LoopModel& model) {
  std::string bytes;
  for (const FieldInfo& f : AllFields()) {
    std::size_t size = f.kind == FieldKind::Real || f.kind == FieldKind::Int ? 4 : 1;
    bytes.append(reinterpret_cast<const char*>(&model) + f.offset, size);
  }
  return bytes;
}

// A model whose every field holds a recognisable non-zero pattern.
LoopModel PatternModel() {
  LoopModel model;
  int k = 0;
  for (const FieldInfo& f : AllFields()) {
    ++k;
    switch (f.kind) {
      case FieldKind::Real: FieldRef<float>(model, f) = -1000.0f - k; break;
      case FieldKind::Int: FieldRef<int32_t>(model, f) = -1000 - k; break;
      case FieldKind::Bool: FieldRef<bool>(model, f) = false; break;
      case FieldKind::Char: FieldRef<char>(model, f) = '#'; break;
    }
  }
  return model;
}

// Random values for every field that a line names: any finite real, any
// integer, any visible code-page character, file names without a folder.
void FillRandomly(LoopModel& model, CaseExtras& extras, std::mt19937& random) {
  auto real = [&] {
    for (;;) {
      float v = std::bit_cast<float>(static_cast<uint32_t>(random()));
      if (std::isfinite(v)) return v;
    }
  };
  for (const FieldInfo& f : AllFields()) {
    switch (f.kind) {
      case FieldKind::Real: FieldRef<float>(model, f) = real(); break;
      case FieldKind::Int: FieldRef<int32_t>(model, f) = static_cast<int32_t>(random()); break;
      case FieldKind::Char: FieldRef<char>(model, f) = static_cast<char>(33 + random() % 223); break;
      case FieldKind::Bool: break;
    }
  }
  extras.FileName1 = "plant" + std::to_string(random()) + ".dat";
  extras.FileName2 = "\xC3\x9C" "bung.dat";
  for (int32_t* i : {&extras.Int1, &extras.Int2, &extras.Int3, &extras.Int4, &extras.Int5, &extras.Int6})
    *i = static_cast<int32_t>(random());
  for (float* r : {&extras.Real1, &extras.Real2, &extras.Real3, &extras.Real4}) *r = real();
}

// Reads the value lines of a case file without the end steps.
bool TakeValues(const std::string& path, char separator, LoopModel& model, CaseExtras& extras,
                std::string& failure) {
  RecordingHost host;
  LineCursor cursor;
  if (CompressedLineFile::Read(path, kAcceptedCaseTags, separator, host, cursor) != LineReadStatus::Ok)
    return false;
  return TakeCaseValues(cursor, model, extras, failure);
}

// The value lines of a case, as written by WriteCase from `model`.
std::vector<std::string> CaseValueLines(const LoopModel& model, const CaseExtras& extras) {
  std::vector<std::string> lines = {"TravekFile"};
  for (const CaseLine& line : CaseLines()) lines.push_back(FormatCaseLine(line, model, extras, '.'));
  return lines;
}

// A plausible single-loop case in memory.
void TypicalCase(LoopModel& model, CaseExtras& extras) {
  model.SingleLoop.P = 2.5f;
  model.SingleLoop.I = 12.0f;
  model.SingleLoop.ExecPeriod = 1.0f;
  model.SingleLoop.CVHigh = 100.0f;
  model.SingleLoop.MVHigh = 100.0f;
  model.SingleLoop.SPNew = 40.0f;
  model.SingleLoop.InitialValue = 40.0f;
  model.SingleLoop.InitialValveOpening = 50.0f;
  model.SingleLoop.PerfIndexType = 'I';
  model.CascadeLoop.PerfIndexType = 'I';
  model.ProcessModel.Gain = 1.0f;
  model.ProcessModel.Tau1 = 20.0f;
  model.RunSettings.SimTime = 400.0f;
  model.RunControl.LoopConfiguration = 1;
  extras.FileName1 = "flow.dat";
}

TEST(CaseLineTable, NamesEveryLineOnceWithAFieldOfItsKind) {
  std::string problem;
  EXPECT_TRUE(CheckCaseLineTable(problem)) << problem;
  ASSERT_EQ(CaseLines().size(), 172u);
  std::set<std::string_view> names;
  for (const CaseLine& line : CaseLines()) EXPECT_TRUE(names.insert(line.name).second) << line.name;
  // Spot checks of the orders that differ between look-alike groups.
  auto nameAt = [](int number) { return CaseLines()[number - 2].name; };
  EXPECT_EQ(nameAt(22), "SingleLoop.CVHigh");
  EXPECT_EQ(nameAt(66), "CascadeLoop.CVLow");
  EXPECT_EQ(nameAt(54), "SineSignal.Rate");
  EXPECT_EQ(nameAt(16), "FeedForwardModel.Lead");
  EXPECT_EQ(nameAt(72), "CascadeLoop.InitialValue");
  EXPECT_EQ(nameAt(160), "CaseExtras.FileName1");
  EXPECT_EQ(nameAt(164), "RunControl.LoopConfiguration");
  EXPECT_EQ(nameAt(173), "CaseExtras.Real4");
}

TEST(CaseFile, EveryFieldReadsBackBitForBitExceptTheListedOnes) {
  TempDir dir;
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    for (char separator : {'.', ','}) {
      LoopModel saved;
      CaseExtras savedExtras;
      FillRandomly(saved, savedExtras, random);
      savedExtras.FileName1 = "D:\\cases\\" + savedExtras.FileName1;  // a folder is dropped
      std::string path = dir.File("round.pid"), reason;
      ASSERT_TRUE(WriteCase(path, saved, savedExtras, separator, reason)) << reason;

      LoopModel loaded = PatternModel();
      CaseExtras extras;
      std::string failure;
      ASSERT_TRUE(TakeValues(path, separator, loaded, extras, failure)) << failure;

      // The exceptions, applied to what was saved.
      LoopModel expected = PatternModel();
      for (const CaseLine& line : CaseLines()) {
        const FieldInfo* f = FindField(line.name);
        if (!f) continue;
        std::size_t size = line.kind == CaseValueKind::Char ? 1 : 4;
        std::memcpy(reinterpret_cast<char*>(&expected) + f->offset,
                    reinterpret_cast<const char*>(&saved) + f->offset, size);
      }
      expected.RunControl.LoopConfiguration = 1;
      expected.SingleLoop.FilterTimeConstant = saved.SingleLoop.FilterEntered;
      expected.CascadeLoop.FilterTimeConstant = saved.CascadeLoop.FilterEntered;
      // Fields that no line names keep their old values.
      EXPECT_EQ(ModelBytes(loaded), ModelBytes(expected));

      EXPECT_EQ(extras.FileName1, savedExtras.FileName1.substr(9));
      EXPECT_EQ(extras.FileName2, savedExtras.FileName2);
      EXPECT_EQ(std::tie(extras.Int1, extras.Int2, extras.Int3, extras.Int4, extras.Int5, extras.Int6),
                std::tie(savedExtras.Int1, savedExtras.Int2, savedExtras.Int3, savedExtras.Int4,
                         savedExtras.Int5, savedExtras.Int6));
      for (auto [a, b] : {std::pair{extras.Real1, savedExtras.Real1}, {extras.Real2, savedExtras.Real2},
                          {extras.Real3, savedExtras.Real3}, {extras.Real4, savedExtras.Real4}})
        EXPECT_EQ(std::bit_cast<uint32_t>(a), std::bit_cast<uint32_t>(b));
    }
  }
}

TEST(CaseFile, ReadingPutsTheLoopIntoAutoAndNormalises) {
  RecordingHost host;
  LoopModel model;
  CaseExtras extras;
  CaseReadResult result = ReadCase(test::FixturePath("python_case.pid"), model, extras, '.', host);
  ASSERT_EQ(result.status, CaseReadStatus::Loaded) << result.failure;
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(host.loopKindShown, 1);
  EXPECT_EQ(host.autoModeShown, 1);
  EXPECT_TRUE(model.RunControl.SingleConfiguration);
  EXPECT_EQ(model.RunControl.LoopConfiguration, 1);  // the file holds 2
  EXPECT_EQ(model.SingleLoop.Mode, 1);
  EXPECT_EQ(model.RunControl.SingleModeCode, 2);
  EXPECT_EQ(model.RunControl.SingleAutoState, 1);
  EXPECT_EQ(model.RunControl.SingleModeSelect, 1);
  EXPECT_EQ(LoadShared(model.SingleLoop.P), 2.5f);
  EXPECT_EQ(LoadShared(model.SingleLoop.I), 0.1f);
  EXPECT_EQ(model.SingleLoop.SPNew, 42.125f);
  EXPECT_EQ(model.SingleLoop.PerfIndexType, 'P');
  EXPECT_EQ(model.CascadeLoop.PerfIndexType, '\xE9');
  EXPECT_EQ(extras.FileName1, "C:\\Daten\\\xC3\x9C" "bung.dat");
  EXPECT_EQ(extras.Int1, INT32_MIN);
  // Normalised: the filter below 0.55 is off while the entered value stays;
  // the stored bounds of a negative gain follow it.
  EXPECT_EQ(model.SingleLoop.FilterEntered, 0.5f);
  EXPECT_EQ(model.SingleLoop.FilterTimeConstant, 0.0f);
  EXPECT_EQ(model.ProcessModel.GainLow, -1.5f * 15);
  EXPECT_FLOAT_EQ(model.ProcessModel.GainHigh, -0.1f);
  EXPECT_EQ(model.RunSettings.TimeStep, 0.5f);
}

TEST(CaseFile, ValuesFirstThenTheEndStepsEqualsAWholeRead) {
  const std::string path = test::FixturePath("python_case.pid");
  RecordingHost whole, split;
  LoopModel wholeModel, splitModel;
  CaseExtras wholeExtras, splitExtras;
  ASSERT_EQ(ReadCase(path, wholeModel, wholeExtras, '.', whole).status, CaseReadStatus::Loaded);
  ASSERT_EQ(ReadCaseValues(path, splitModel, splitExtras, '.', split).status, CaseReadStatus::Loaded);
  EXPECT_EQ(split.loopKindShown + split.autoModeShown, 0);
  EXPECT_EQ(splitModel.SingleLoop.Mode, 0);
  EXPECT_EQ(splitModel.SingleLoop.FilterTimeConstant, 0.5f);  // not yet normalised
  FinishCaseLoad(splitModel, split);
  EXPECT_EQ(ModelBytes(splitModel), ModelBytes(wholeModel));
  EXPECT_EQ(split.loopKindShown + split.autoModeShown, 2);
}

TEST(CaseFile, OlderTagLoadsAndIsSavedUnderTheCurrentOne) {
  TempDir dir;
  LoopModel model;
  CaseExtras extras;
  TypicalCase(model, extras);
  std::vector<std::string> lines = CaseValueLines(model, extras);
  lines[0] = "MALVOR PID FILE";
  lines.push_back("an extra line that nothing reads");
  std::string path = dir.File("old.pid"), reason;
  test::WriteLineFile(path, lines);

  RecordingHost host;
  LoopModel loaded;
  CaseExtras loadedExtras;
  ASSERT_EQ(ReadCase(path, loaded, loadedExtras, '.', host).status, CaseReadStatus::Loaded);
  EXPECT_EQ(LoadShared(loaded.SingleLoop.P), 2.5f);
  ASSERT_TRUE(WriteCase(path, loaded, loadedExtras, '.', reason)) << reason;
  std::string text = test::DecompressedFile(path);
  EXPECT_TRUE(text.starts_with("TravekFile\r\n2.5\r\n")) << text;
  EXPECT_EQ(text.find("extra"), std::string::npos);
}

TEST(CaseFile, BadOrMissingValueLineStopsTheReadHalfWay) {
  TempDir dir;
  LoopModel model;
  CaseExtras extras;
  TypicalCase(model, extras);
  const std::vector<std::string> good = CaseValueLines(model, extras);

  struct Case {
    int line;             // file line to change; 0 to drop the last line
    const char* text;
    const char* failure;
  };
  const Case cases[] = {
      {30, "abc", "'abc' is not a valid floating point value"},
      {34, " 1.0 ", "''1.0'' is not a valid integer value"},
      {76, "  \t", "Range check error"},
      {164, "single", "''single'' is not a valid integer value"},
      {0, nullptr, "List index out of bounds (171)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines = good;
    int failing = c.line;
    if (c.line == 0) {
      lines.pop_back();
      failing = 173;
    } else {
      lines[c.line - 1] = c.text;
    }
    std::string path = dir.File("bad.pid");
    test::WriteLineFile(path, lines);

    RecordingHost host;
    LoopModel loaded = PatternModel();
    CaseExtras loadedExtras;
    loadedExtras.Real4 = -1.0f;
    CaseReadResult result = ReadCase(path, loaded, loadedExtras, '.', host);
    EXPECT_EQ(result.status, CaseReadStatus::LineFailed) << c.line;
    EXPECT_EQ(result.failure, c.failure);
    // No box, no end steps: the failure goes to the caller's report.
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(host.loopKindShown + host.autoModeShown, 0);
    EXPECT_EQ(loaded.SingleLoop.Mode, PatternModel().SingleLoop.Mode);
    // Lines before the failing one hold the new values, the rest the old.
    EXPECT_EQ(LoadShared(loaded.SingleLoop.P), 2.5f);
    if (failing == 30) {
      EXPECT_EQ(loaded.SingleLoop.SPNew, 40.0f);                               // line 29
      EXPECT_EQ(loaded.RunSettings.TimeStep, PatternModel().RunSettings.TimeStep);  // line 30
      EXPECT_EQ(loaded.RunSettings.SimTime, PatternModel().RunSettings.SimTime);    // line 31
    }
    if (failing == 173) {
      EXPECT_EQ(loadedExtras.Real3, 0.0f);   // line 172, read
      EXPECT_EQ(loadedExtras.Real4, -1.0f);  // line 173, missing
      EXPECT_EQ(loaded.RunSettings.TimeStep, 0.0f);  // read and not normalised
    }
  }
}

TEST(CaseFile, MissingOrInvalidFileShowsItsBoxAndChangesNothing) {
  TempDir dir;
  struct Case { std::string path; std::string bytes; std::string box; };
  const std::string missing = dir.File("missing.pid"), invalid = dir.File("invalid.pid"),
                    empty = dir.File("empty.pid");
  const Case cases[] = {
      {missing, "", "Configuration File Not Found:\n" + missing + "\nSelect Another Case File"},
      {invalid, "not a case", "Not Valid QxOPCServer File!\n" + invalid},
  };
  for (const Case& c : cases) {
    if (!c.bytes.empty()) test::WriteBytes(c.path, c.bytes);
    RecordingHost host;
    LoopModel model = PatternModel();
    CaseExtras extras;
    CaseReadResult result = ReadCase(c.path, model, extras, '.', host);
    EXPECT_EQ(result.status, CaseReadStatus::NotLoaded);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0], std::pair(std::string("Error"), c.box));
    EXPECT_EQ(ModelBytes(model), ModelBytes(PatternModel()));
  }
  // An empty text is a missing line, and changes nothing either.
  test::WriteBytes(empty, test::Compressed(""));
  RecordingHost host;
  LoopModel model = PatternModel();
  CaseExtras extras;
  CaseReadResult result = ReadCase(empty, model, extras, '.', host);
  EXPECT_EQ(result.status, CaseReadStatus::LineFailed);
  EXPECT_EQ(result.failure, "List index out of bounds (0)");
  EXPECT_EQ(ModelBytes(model), ModelBytes(PatternModel()));
}

TEST(CaseFile, FileNamesAreSavedBareAndReadWhole) {
  EXPECT_EQ(BareFileName("C:\\cases\\plant.dat"), "plant.dat");
  EXPECT_EQ(BareFileName("D:plant.dat"), "plant.dat");
  EXPECT_EQ(BareFileName("plant.dat"), "plant.dat");
  EXPECT_EQ(BareFileName("dir\\"), "");

  TempDir dir;
  LoopModel model;
  CaseExtras extras;
  TypicalCase(model, extras);
  std::vector<std::string> lines = CaseValueLines(model, extras);
  lines[162] = "  C:\\plant\\data\\feed.dat  ";  // line 163
  std::string path = dir.File("names.pid"), reason;
  test::WriteLineFile(path, lines);
  RecordingHost host;
  CaseExtras loaded;
  ASSERT_EQ(ReadCase(path, model, loaded, '.', host).status, CaseReadStatus::Loaded);
  EXPECT_EQ(loaded.FileName2, "C:\\plant\\data\\feed.dat");
  ASSERT_TRUE(WriteCase(path, model, loaded, '.', reason));
  EXPECT_NE(test::DecompressedFile(path).find("\r\nfeed.dat\r\n"), std::string::npos);
}

TEST(CaseFile, CommaLocaleFileReadsOnlyUnderACommaLocale) {
  TempDir dir;
  LoopModel model;
  CaseExtras extras;
  TypicalCase(model, extras);
  model.SingleLoop.D = 0.25f;
  std::string path = dir.File("comma.pid"), reason;
  ASSERT_TRUE(WriteCase(path, model, extras, ',', reason));
  EXPECT_NE(test::DecompressedFile(path).find("\r\n2,5\r\n"), std::string::npos);

  RecordingHost host;
  LoopModel comma, point;
  CaseExtras unused;
  ASSERT_EQ(ReadCase(path, comma, unused, ',', host).status, CaseReadStatus::Loaded);
  EXPECT_EQ(LoadShared(comma.SingleLoop.P), 2.5f);
  EXPECT_EQ(comma.SingleLoop.D, 0.25f);
  CaseReadResult result = ReadCase(path, point, unused, '.', host);
  EXPECT_EQ(result.status, CaseReadStatus::LineFailed);
  EXPECT_EQ(result.failure, "'2,5' is not a valid floating point value");
}

TEST(CaseFile, StartingCaseIsASingleLoopCaseThatLoadsInAnyLocale) {
  for (char separator : {'.', ','}) {
    RecordingHost host;
    LoopModel model;
    CaseExtras extras;
    CaseReadResult result = ReadCase(QX_STARTING_CASE, model, extras, separator, host);
    ASSERT_EQ(result.status, CaseReadStatus::Loaded) << result.failure;
    EXPECT_EQ(model.RunControl.LoopConfiguration, 1);
    EXPECT_EQ(LoadShared(model.SingleLoop.P), 1.0f);
    EXPECT_EQ(LoadShared(model.SingleLoop.I), 20.0f);
    EXPECT_EQ(model.SingleLoop.SPNew, 50.0f);
    EXPECT_EQ(model.SingleLoop.Equation, 1);
    EXPECT_EQ(model.ProcessModel.Order, 1);
    EXPECT_EQ(model.RunSettings.SimTime, 400.0f);
    EXPECT_EQ(model.RunSettings.TimeStep, 0.5f);
    EXPECT_EQ(model.PulseSignal.On + model.RampSignal.On + model.SineSignal.On + model.StepSignal.On, 0);
  }
}

}  // namespace
}  // namespace qx
