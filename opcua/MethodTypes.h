#pragma once
// The Argument structure that describes a method's arguments in its
// InputArguments and OutputArguments properties, and the structures of the
// Call service.

#include <string>
#include <vector>

#include "opcua/CallServiceTypes.h"
#include "opcua/ServiceTypes.h"

namespace opcua {

struct Argument {
  static constexpr uint32_t kTypeId = 298;
  std::string name;
  NodeId dataType;
  int32_t valueRank = -1;
  std::vector<uint32_t> arrayDimensions;
  LocalizedText description;
  QX_UA_FIELDS(name, dataType, valueRank, arrayDimensions, description)
};

}  // namespace opcua
