#pragma once
// The standard event and condition types in the address space.

#include <cstdint>

#include "opcua/AddressSpace.h"

namespace opcua {

// EventNotifier bit of an object whose events clients may subscribe to.
inline constexpr uint8_t kSubscribeToEvents = 0x01;

// Adds BaseEventType, the refresh and overflow events, ConditionType and
// the alarm types down to the exclusive limit and off-normal alarms, with
// the fields and methods clients use; makes the Server object a notifier.
void AddStandardEventTypes(AddressSpace& space);

}  // namespace opcua
