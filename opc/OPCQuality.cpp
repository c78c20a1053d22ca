#include "opc/OPCQuality.h"

#include <charconv>
#include <type_traits>

namespace qx {

uint16_t QualityOfStatus(opcua::StatusCode status) {
  // Severity and sub-code only: the low 16 bits hold info bits.
  const uint32_t code = status.value & 0xFFFF0000u;
  switch (code) {
    case 0x00960000u: return kQualityWordGoodLocalOverride;  // GoodLocalOverride
    case 0x40900000u: return 0x44;  // UncertainLastUsableValue
    case 0x408F0000u: return 0x44;  // UncertainNoCommunicationLastUsableValue
    case 0x40930000u: return 0x50;  // UncertainSensorNotAccurate
    case 0x40940000u: return 0x54;  // UncertainEngineeringUnitsExceeded
    case 0x40950000u: return 0x58;  // UncertainSubNormal
    case 0x80890000u: return 0x04;  // BadConfigurationError
    case 0x808A0000u: return 0x08;  // BadNotConnected
    case 0x808B0000u: return 0x0C;  // BadDeviceFailure
    case 0x808C0000u: return 0x10;  // BadSensorFailure
    case 0x80310000u: return 0x18;  // BadNoCommunication
    case 0x808D0000u: return 0x1C;  // BadOutOfService
    case 0x80320000u: return 0x20;  // BadWaitingForInitialData
    default: break;
  }
  switch (code & 0xC0000000u) {
    case 0x00000000u: return kQualityWordGood;
    case 0x40000000u: return kQualityWordUncertain;
    default: return kQualityWordBad;
  }
}

namespace {

template <class Number>
std::string NumberText(Number number) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
  return ec == std::errc() ? std::string(buffer, end) : std::string();
}

}  // namespace

std::string ValueText(const opcua::Variant& value) {
  if (value.isArray) return {};
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "True" : "False";
        } else if constexpr (std::is_same_v<T, int8_t> || std::is_same_v<T, uint8_t>) {
          return std::to_string(static_cast<int>(v));
        } else if constexpr (std::is_arithmetic_v<T>) {
          return NumberText(v);
        } else if constexpr (std::is_same_v<T, opcua::LocalizedText>) {
          return v.text;
        } else {
          return {};
        }
      },
      value.scalar);
}

}  // namespace qx
