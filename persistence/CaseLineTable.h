// The 172 value lines of a case file as data: which field each line holds,
// of which kind, and the few lines with a rule of their own. Reading,
// writing, listing and packing all walk this one table.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/LoopModel.h"
#include "persistence/CaseExtras.h"
#include "persistence/LineCursor.h"

namespace qx {

inline constexpr std::string_view kCaseTag = "TravekFile";
inline constexpr std::string_view kOlderCaseTag = "MALVOR PID FILE";
inline constexpr std::string_view kAcceptedCaseTags[] = {kCaseTag, kOlderCaseTag};
inline constexpr int kCaseValueLines = 172;

enum class CaseValueKind { Real, Int, Char, Text };

enum class CaseLineRule {
  Plain,              // the field, as it is
  Filter,             // written from FilterEntered; read into FilterEntered
                      // and FilterTimeConstant of the same loop
  BareFileName,       // written as the part after the last '\' or ':';
                      // read as the whole trimmed line
  LoopConfiguration,  // must read as an integer; the field then becomes 1
};

struct CaseLine {
  int number;             // line number in the file, 2 to 173
  std::string_view name;  // "Record.Field", e.g. "SingleLoop.P" or "CaseExtras.Int1"
  CaseValueKind kind;
  CaseLineRule rule;
};

// The value lines in file order (line 2 first).
std::span<const CaseLine> CaseLines();

// True when every line names an existing field of the line's kind; the
// message names the first line that does not.
bool CheckCaseLineTable(std::string& problem);

// The text of one line, from the current field values.
std::string FormatCaseLine(const CaseLine& line, const LoopModel& model, const CaseExtras& extras,
                           char decimalSeparator);

// Takes the line's value from the cursor and stores it at once. False with
// the user's failure text when the line is missing or does not convert; the
// field is then unchanged.
bool TakeCaseLine(const CaseLine& line, LineCursor& cursor, LoopModel& model, CaseExtras& extras,
                  std::string& failure);

// Whether `text` would convert for this line, with the failure text if not.
bool CheckCaseLineText(const CaseLine& line, std::string_view text, char decimalSeparator,
                       std::string& failure);

// The part of a file name after the last '\' or ':' (the whole text when it
// holds neither).
std::string_view BareFileName(std::string_view name);

}  // namespace qx
