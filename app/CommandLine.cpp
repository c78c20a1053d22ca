#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "opc/OPCServer.h"

namespace qx {
namespace {

bool SameWordIgnoringCase(std::string_view text, std::string_view word) {
  return text.size() == word.size() &&
         std::equal(text.begin(), text.end(), word.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

}  // namespace

std::string ArgumentText(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    if (!text.empty()) text += ' ';
    text += argument;
  }
  return text;
}

ServerSwitch FindServerSwitch(std::string_view argumentText) {
  std::size_t at = argumentText.find('-');
  if (at == std::string_view::npos) at = argumentText.find('/');
  if (at == std::string_view::npos) return ServerSwitch::None;
  const std::string_view rest = argumentText.substr(at + 1);
  if (SameWordIgnoringCase(rest, "regserver") || SameWordIgnoringCase(rest, "r"))
    return ServerSwitch::Register;
  if (SameWordIgnoringCase(rest, "unregserver") || SameWordIgnoringCase(rest, "u"))
    return ServerSwitch::Unregister;
  return ServerSwitch::None;
}

void PerformServerSwitch(ServerSwitch which) {
  std::string ignored;
  const GBServerIdentity identity = SimulationServerIdentity(DefaultEndpointUrl());
  if (which == ServerSwitch::Register) GBDataAccess::GBRegisterServer(identity, ignored);
  if (which == ServerSwitch::Unregister) GBDataAccess::GBUnregisterServer(identity.Clsid, ignored);
}

std::optional<std::string> CaseFileArgument(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    std::error_code error;
    if (std::filesystem::is_regular_file(argument, error)) return argument;
  }
  return std::nullopt;
}

bool ParseHistoryValues(std::string_view text, std::size_t& values, std::string& error) {
  std::size_t parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || parsed > kMaxHistoryValues) {
    error = std::string(kHistoryOption) + " expects a number of values from 0 to " +
            std::to_string(kMaxHistoryValues) + ", got '" + std::string(text) + "'";
    return false;
  }
  values = parsed;
  return true;
}

bool HistoryArgument(const std::vector<std::string>& arguments, std::optional<std::size_t>& values,
                     std::string& error) {
  const std::string prefix = std::string(kHistoryOption) + "=";
  for (const std::string& argument : arguments) {
    if (!argument.starts_with(prefix)) continue;
    std::size_t parsed = 0;
    if (!ParseHistoryValues(std::string_view(argument).substr(prefix.size()), parsed, error)) return false;
    values = parsed;
  }
  return true;
}

}  // namespace qx
