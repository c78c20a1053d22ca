// A case file as readable text, for reviewing, diffing and scripting cases:
// the tag on the first line, then one "Record.Field=VALUE" line per value
// line in file order ("CaseExtras.FileName1=..." for the extras), VALUE
// being the line exactly as the file holds it.
#pragma once

#include <string>
#include <string_view>

namespace qx {

// The listing of the case at `path`. False with the user's message when the
// file is missing, not a case file, or has fewer than 172 value lines. The
// values are listed as they are, without converting them.
bool DumpCaseListing(const std::string& path, std::string& listing, std::string& error);

// Builds the case file `outPath` from a listing: the tag line ("TravekFile"
// or "MALVOR PID FILE"), then all 172 lines, each with its field name in
// order and a value that converts with `decimalSeparator`; blank lines may
// follow. The file holds the tag and values exactly as listed, so dump then
// pack gives the same text. A UTF-8 byte-order mark before the tag is
// skipped. False with a message naming the listing line and what was
// expected there.
bool PackCaseListing(std::string_view listing, const std::string& outPath, char decimalSeparator,
                     std::string& error);

}  // namespace qx
