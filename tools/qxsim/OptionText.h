// The pieces of a command line that every qxsim command reads alike.
#pragma once

#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qx {

// `text` is a whole number in decimal and nothing else (no blanks, no
// fraction), within the range of `Int`.
template <typename Int>
bool ParseWholeNumber(std::string_view text, Int& value) {
  if (text.empty()) return false;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

// The value that follows the option at args[i]: stored into `out`, with i
// moved onto it; false, with the error naming the option, when it is last.
inline bool TakeOptionValue(const std::vector<std::string>& args, std::size_t& i, std::string& out,
                            std::string& error) {
  if (i + 1 >= args.size()) {
    error = args[i] + " needs a value";
    return false;
  }
  out = args[++i];
  return true;
}

}  // namespace qx
