#include "opc/EngineeringUnits.h"

namespace qx {
namespace {

// The UNECE unit codes that clients look up units by.
constexpr const char* kUneceUnits = "http://www.opcfoundation.org/UA/units/un/cefact";
constexpr int32_t kUnecePercent = 20529;  // "P1"

}  // namespace

std::optional<opcua::EUInformation> EngineeringUnits(const std::string& unit) {
  if (unit.empty()) return std::nullopt;
  opcua::EUInformation units;
  units.displayName = {"", unit};
  units.description = {"", unit};
  if (unit == "%") {
    units.namespaceUri = kUneceUnits;
    units.unitId = kUnecePercent;
    units.description = {"", "percent"};
  }
  return units;
}

}  // namespace qx
