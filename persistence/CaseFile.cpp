#include "persistence/CaseFile.h"

#include <vector>

#include "engine/Normalise.h"
#include "engine/RunControlCodes.h"
#include "persistence/CaseLineTable.h"
#include "persistence/CompressedLineFile.h"

namespace qx {

CaseReadResult ReadCase(const std::string& path, LoopModel& model, CaseExtras& extras,
                        char decimalSeparator, CaseHost& host) {
  CaseReadResult result = ReadCaseValues(path, model, extras, decimalSeparator, host);
  if (result.status == CaseReadStatus::Loaded) FinishCaseLoad(model, host);
  return result;
}

CaseReadResult ReadCaseValues(const std::string& path, LoopModel& model, CaseExtras& extras,
                              char decimalSeparator, CaseHost& host) {
  LineCursor cursor;
  switch (CompressedLineFile::Read(path, kAcceptedCaseTags, decimalSeparator, host, cursor)) {
    case LineReadStatus::NotFound:
      host.ShowErrorBox(kMissingCaseCaption,
                        std::string(kMissingTextStart) + path + std::string(kMissingTextEnd));
      return {CaseReadStatus::NotLoaded, {}};
    case LineReadStatus::Invalid:
      return {CaseReadStatus::NotLoaded, {}};
    case LineReadStatus::Ok:
      break;
  }
  CaseReadResult result;
  result.status = TakeCaseValues(cursor, model, extras, result.failure) ? CaseReadStatus::Loaded
                                                                         : CaseReadStatus::LineFailed;
  return result;
}

bool TakeCaseValues(LineCursor& cursor, LoopModel& model, CaseExtras& extras,
                    std::string& failure) {
  for (const CaseLine& line : CaseLines())
    if (!TakeCaseLine(line, cursor, model, extras, failure)) return false;
  return true;
}

void FinishCaseLoad(LoopModel& model, CaseHost& host) {
  // The window's single-loop arrangement; the model's part of it is the flag.
  model.RunControl.SingleConfiguration = true;
  host.ShowLoopKind();

  model.SingleLoop.Mode = 1;
  model.RunControl.SingleModeCode = 2;
  model.RunControl.SingleAutoState = FieldCode(LoopMode::Auto);
  model.RunControl.SingleModeSelect = FieldCode(LoopMode::Auto);
  host.ShowAutoMode();

  NormaliseLoopParameters(model);
}

bool WriteCase(const std::string& path, const LoopModel& model, const CaseExtras& extras,
               char decimalSeparator, std::string& reason) {
  std::vector<std::string> lines;
  lines.reserve(kCaseValueLines);
  for (const CaseLine& line : CaseLines())
    lines.push_back(FormatCaseLine(line, model, extras, decimalSeparator));
  return CompressedLineFile::Write(path, kCaseTag, lines, reason);
}

}  // namespace qx
