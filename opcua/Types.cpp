#include "opcua/Types.h"

#include <chrono>
#include <cstdio>

namespace opcua {

namespace {
// Ticks between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;
}  // namespace

DateTime DateTime::FromUnixMicros(int64_t micros) { return DateTime{micros * 10 + kUnixEpochTicks}; }

DateTime DateTime::Now() {
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
  return FromUnixMicros(micros);
}

int64_t DateTime::ToUnixMicros() const { return (ticks - kUnixEpochTicks) / 10; }

NodeId NodeId::Opaque(uint16_t nsIndex, std::string bytes) {
  NodeId id;
  id.ns = nsIndex;
  id.type = IdType::Opaque;
  id.text = std::move(bytes);
  return id;
}

bool operator==(const NodeId& a, const NodeId& b) {
  if (a.ns != b.ns || a.type != b.type) return false;
  switch (a.type) {
    case IdType::Numeric: return a.numeric == b.numeric;
    case IdType::Guid: return a.guid == b.guid;
    default: return a.text == b.text;
  }
}

size_t NodeIdHash::operator()(const NodeId& id) const {
  size_t h = std::hash<uint32_t>()(id.ns * 31u + static_cast<uint32_t>(id.type));
  switch (id.type) {
    case IdType::Numeric: return h ^ std::hash<uint32_t>()(id.numeric);
    case IdType::Guid: return h ^ std::hash<uint32_t>()(id.guid.data1);
    default: return h ^ std::hash<std::string>()(id.text);
  }
}

std::string NodeId::ToString() const {
  std::string out = ns ? "ns=" + std::to_string(ns) + ";" : "";
  switch (type) {
    case IdType::Numeric: return out + "i=" + std::to_string(numeric);
    case IdType::String: return out + "s=" + text;
    case IdType::Guid: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid.data1,
                    guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                    guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
      return out + "g=" + buf;
    }
    case IdType::Opaque: return out + "b=(" + std::to_string(text.size()) + " bytes)";
  }
  return out;
}

Variant Variant::Array(BuiltinType type, std::vector<Scalar> elements) {
  Variant v;
  v.isArray = true;
  v.arrayType = type;
  v.array = std::move(elements);
  return v;
}

}  // namespace opcua
