// A variable's unit as clients read it in its EngineeringUnits property.
#pragma once

#include <optional>
#include <string>

#include "opcua/ServiceTypes.h"

namespace qx {

// Percent by its UNECE code; any other unit (the simulation's abstract time
// units) has no code and is known by its text alone; no property for a
// value without a unit ("").
std::optional<opcua::EUInformation> EngineeringUnits(const std::string& unit);

}  // namespace qx
