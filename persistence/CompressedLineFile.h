// The container of case files: a list of text lines, the first a format tag,
// the rest one value each, compressed as one raw DEFLATE stream. Lines end
// in CR LF and are encoded in Windows-1252 (see TextEncoding.h).
#pragma once

#include <chrono>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "persistence/CaseHost.h"
#include "persistence/LineCursor.h"
#include "persistence/SafeFile.h"

namespace qx {

enum class LineReadStatus {
  NotFound,  // no file at the path; nothing shown
  Invalid,   // cannot be read, does not decompress, or a wrong tag; the
             // error box has been shown through the host
  Ok,        // the cursor stands on the first value line
};

class CompressedLineFile {
 public:
  // Caption and first part of the text of the box for a file that was read
  // and is not valid; the path follows the text directly.
  static constexpr std::string_view kErrorCaption = "Error";
  static constexpr std::string_view kInvalidText = "Not Valid QxOPCServer File!\n";
  // The box for a file that could not be read gives the system's reason
  // instead: "Cannot read <path>: Permission denied".
  static constexpr std::string_view kCannotReadText = "Cannot read ";

  // Reads the file at `path` under a shared lock, waiting up to `lockWait`
  // for a writer. Line 1 must equal one of `acceptedTags` exactly (case and
  // blanks count). A text without any line is not Invalid: the cursor comes
  // back empty, so the first value asked for fails with "List index out of
  // bounds (0)". Reals are read with `decimalSeparator`.
  static LineReadStatus Read(const std::string& path, std::span<const std::string_view> acceptedTags,
                             char decimalSeparator, CaseHost& host, LineCursor& cursor,
                             std::chrono::milliseconds lockWait = kDefaultLockWait);

  // Writes the tag and the value lines, each followed by CR LF, compressed,
  // replacing any existing file atomically (SafeFile.h). Shows nothing;
  // returns false with `reason` set when the file could not be written.
  static bool Write(const std::string& path, std::string_view tag,
                    std::span<const std::string> valueLines, std::string& reason,
                    std::chrono::milliseconds lockWait = kDefaultLockWait);
};

}  // namespace qx
