// The working directory of the windowed program: the executable's folder,
// or the folder named by the first line of "TRAVEK.CFG" beside the
// executable. Files named without a folder (the starting case) are looked up
// there. The command-line runner does not call this: its paths stay relative
// to where the user stands.
#pragma once

#include <string>
#include <string_view>

namespace qx {

inline constexpr std::string_view kConfigurationFileName = "TRAVEK.CFG";
inline constexpr std::size_t kMaxConfigurationLine = 198;

// The folder that holds the running executable (through /proc/self/exe), or
// an empty text when the platform does not tell.
std::string ExecutableFolder();

// Makes `executableFolder` the working directory, then the folder named by
// the first line of its "TRAVEK.CFG" (at most 198 characters, line end
// removed, a relative path taken relative to `executableFolder`). Any
// failure - no file, unreadable, empty line, no such folder - silently
// leaves the executable's folder. Returns the resulting working directory,
// for the window's "Current Directory" field.
std::string ApplyConfigurationFileIn(const std::string& executableFolder);

// ApplyConfigurationFileIn(ExecutableFolder()).
std::string ApplyConfigurationFile();

}  // namespace qx
