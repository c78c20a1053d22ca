// What an OPC UA data value says in the terms of a classic OPC client: the
// 16-bit quality word and the value as text.
#pragma once

#include <cstdint>
#include <string>

#include "opcua/Types.h"

namespace qx {

// Quality words of the classic OPC data model.
inline constexpr uint16_t kQualityWordGood = 0xC0;  // 192
inline constexpr uint16_t kQualityWordGoodLocalOverride = 0xD8;
inline constexpr uint16_t kQualityWordUncertain = 0x40;
inline constexpr uint16_t kQualityWordBad = 0x00;

// The quality word an OPC UA status code corresponds to: Good is 192 (216
// for GoodLocalOverride), Uncertain 64 and Bad 0, each with the sub-status
// where one exists (Uncertain sensor not accurate 0x50, Bad not connected
// 0x08, ...). Info bits (overflow, limits) do not change the word.
uint16_t QualityOfStatus(opcua::StatusCode status);

// A value as text: strings as they are, numbers in C notation ("." as the
// decimal point, shortest form that reads back), Booleans "True"/"False",
// localized texts their text; an empty value or an array is "".
std::string ValueText(const opcua::Variant& value);

}  // namespace qx
