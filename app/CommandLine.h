// The program's command line: the registration switches that register or
// unregister the OPC server without opening a window, and a case file to
// open at start-up. No GUI toolkit: the switches are handled before one
// exists, so they work without a display.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

enum class ServerSwitch { None, Register, Unregister };

// The command line after the program name: the arguments joined by blanks.
std::string ArgumentText(const std::vector<std::string>& arguments);

// The switch in `argumentText`: after the first "-" (or, when there is no
// "-", the first "/") the whole rest must be "regserver" or "r" (register),
// "unregserver" or "u" (unregister), in any case. Anything else is no switch
// and the program starts normally.
ServerSwitch FindServerSwitch(std::string_view argumentText);

// Registers or unregisters the simulation server at the default endpoint.
// The result is not reported: the program exits with 0 either way.
void PerformServerSwitch(ServerSwitch which);

// The first argument that names an existing regular file: a case file to
// open once the window is up.
std::optional<std::string> CaseFileArgument(const std::vector<std::string>& arguments);

// The option that sizes the history of the loop object's PV, SP and OP, in
// values per variable (16 bytes each): "--history=N" for the window,
// "--history N" or "--history=N" for qxsim run. 0 keeps no history.
inline constexpr std::string_view kHistoryOption = "--history";
// The most values a history may be given: 1.6 GB per variable.
inline constexpr std::size_t kMaxHistoryValues = 100'000'000;

// `text` as a history size: a whole number from 0 to kMaxHistoryValues;
// false with an error naming the option and the text otherwise.
bool ParseHistoryValues(std::string_view text, std::size_t& values, std::string& error);

// The size of "--history=N" among the window's arguments: nothing when the
// option is absent; false with an error when its value is not a size.
bool HistoryArgument(const std::vector<std::string>& arguments, std::optional<std::size_t>& values,
                     std::string& error);

}  // namespace qx
