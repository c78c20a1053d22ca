// The working directory of the windowed program: the executable's folder,
// or the folder named by the first line of "TRAVEK.CFG" beside the
// executable. Files named without a folder (the starting case) are looked up
// there. The command-line runner does not call this: its paths stay relative
// to where the user stands.
//
// "The executable's folder" is where the program's data files lie (the
// starting case, "TRAVEK.CFG", the help document). For a program run from
// its build folder, or from any folder those files were copied into, that
// is the program's own folder; for an installed program it is the installed
// data folder, found relative to the program so that a moved prefix works.
#pragma once

#include <string>
#include <string_view>

namespace qx {

inline constexpr std::string_view kConfigurationFileName = "TRAVEK.CFG";
inline constexpr std::size_t kMaxConfigurationLine = 198;
// The built-in starting case of "New Simulation", by its bare name.
inline constexpr const char* kStartingCaseFile = "TravekEX2.pid";
// The installed data folder relative to the installed programs' folder
// ("../share/qxsim"), set by the build from the install layout.
extern const std::string_view kInstalledDataFolder;

// The folder that holds the running program file (through /proc/self/exe),
// or an empty text when the platform does not tell.
std::string ProgramFolder();

// The executable's folder for a program in `programFolder`: that folder
// itself when it holds the starting case or "TRAVEK.CFG"; otherwise
// `programFolder`/`installedDataFolder` (normalised) when that is a folder;
// otherwise `programFolder`. Empty when `programFolder` is empty.
std::string DataFolderOf(const std::string& programFolder, std::string_view installedDataFolder);

// DataFolderOf(ProgramFolder(), kInstalledDataFolder).
std::string ExecutableFolder();

// The folder a save dialog starts in: `workingDirectory` when it can be
// written and is not the installed data folder, otherwise the user's home
// folder ($HOME), so that saves never land among the installed files.
std::string SaveDialogFolder(const std::string& workingDirectory);

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
