// Reading and saving a whole case: the loop data model and CaseExtras to
// and from the 172 value lines of a compressed line file.
#pragma once

#include <string>

#include "engine/LoopModel.h"
#include "persistence/CaseExtras.h"
#include "persistence/CaseHost.h"
#include "persistence/LineCursor.h"

namespace qx {

enum class CaseReadStatus {
  Loaded,     // every line taken, the loop in Auto, the model normalised
  NotLoaded,  // no file, or not a case file: the reason has been shown
              // through the host and nothing has been changed
  LineFailed, // a value line did not convert or was missing: the fields
              // before it hold the new values, the rest their old ones,
              // and the end steps have not been done
};

struct CaseReadResult {
  CaseReadStatus status = CaseReadStatus::NotLoaded;
  // For LineFailed, the text for the application's general error report,
  // e.g. "'abc' is not a valid floating point value".
  std::string failure;
};

// Caption and text parts of the box for a missing case file; the text is
// kMissingTextStart + path + kMissingTextEnd.
inline constexpr std::string_view kMissingCaseCaption = "Error";
inline constexpr std::string_view kMissingTextStart = "Configuration File Not Found:\n";
inline constexpr std::string_view kMissingTextEnd = "\nSelect Another Case File";

// Loads the case at `path` into `model` and `extras`. Reals are read with
// `decimalSeparator` (the user's, DecimalSeparatorFromEnvironment()).
CaseReadResult ReadCase(const std::string& path, LoopModel& model, CaseExtras& extras,
                        char decimalSeparator, CaseHost& host);

// ReadCase without its end steps, for a caller that changes values between
// the file and the end (the runner's command-line overrides): Loaded here
// means every line has been taken; FinishCaseLoad is then still to do.
CaseReadResult ReadCaseValues(const std::string& path, LoopModel& model, CaseExtras& extras,
                              char decimalSeparator, CaseHost& host);

// Takes the 172 value lines from `cursor` in table order and stores each at
// once, unchecked. Stops at the first line that is missing or does not
// convert, with the failure text; the fields before it keep the new values.
bool TakeCaseValues(LineCursor& cursor, LoopModel& model, CaseExtras& extras,
                    std::string& failure);

// The end of a load: the single-loop arrangement (through the host), the
// single loop in Auto mode, and NormaliseLoopParameters.
void FinishCaseLoad(LoopModel& model, CaseHost& host);

// Saves the current values under the tag "TravekFile", replacing any file
// at `path` only once the new one is complete. Shows nothing; false with
// `reason` (naming the step and the path) when the file was not written.
bool WriteCase(const std::string& path, const LoopModel& model, const CaseExtras& extras,
               char decimalSeparator, std::string& reason);

}  // namespace qx
