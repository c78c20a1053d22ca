#pragma once
// The built-in value types of the OPC UA binary protocol, as plain values.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "opcua/StatusCodes.h"

namespace opcua {

// 100-nanosecond ticks since 1601-01-01 UTC; 0 means "no time".
struct DateTime {
  int64_t ticks = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
  static DateTime FromUnixMicros(int64_t micros);
  static DateTime Now();
  int64_t ToUnixMicros() const;
};

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

// Byte strings and XML elements carry raw bytes; `isNull` keeps the
// difference between a null and an empty value that the wire makes.
struct ByteString {
  std::string data;
  bool isNull = true;
  ByteString() = default;
  explicit ByteString(std::string bytes) : data(std::move(bytes)), isNull(false) {}
  friend bool operator==(const ByteString&, const ByteString&) = default;
};

struct XmlElement {
  std::string data;
  friend bool operator==(const XmlElement&, const XmlElement&) = default;
};

enum class IdType : uint8_t { Numeric = 0, String = 1, Guid = 2, Opaque = 3 };

struct NodeId {
  uint16_t ns = 0;
  IdType type = IdType::Numeric;
  uint32_t numeric = 0;
  std::string text;  // the string identifier, or the opaque bytes
  Guid guid;

  NodeId() = default;
  NodeId(uint16_t nsIndex, uint32_t id) : ns(nsIndex), numeric(id) {}
  NodeId(uint16_t nsIndex, std::string id) : ns(nsIndex), type(IdType::String), text(std::move(id)) {}
  static NodeId Opaque(uint16_t nsIndex, std::string bytes);

  bool IsNull() const { return ns == 0 && type == IdType::Numeric && numeric == 0; }
  std::string ToString() const;  // "ns=1;s=X", "i=85", ...
  friend bool operator==(const NodeId& a, const NodeId& b);
};

struct NodeIdHash {
  size_t operator()(const NodeId& id) const;
};

struct ExpandedNodeId {
  NodeId nodeId;
  std::string namespaceUri;  // empty when absent
  uint32_t serverIndex = 0;
  friend bool operator==(const ExpandedNodeId&, const ExpandedNodeId&) = default;
};

struct QualifiedName {
  uint16_t ns = 0;
  std::string name;
  friend bool operator==(const QualifiedName&, const QualifiedName&) = default;
};

struct LocalizedText {
  std::string locale;
  std::string text;
  friend bool operator==(const LocalizedText&, const LocalizedText&) = default;
};

// A structure carried opaquely: the type id of its encoding and its bytes.
struct ExtensionObject {
  enum class Encoding : uint8_t { None = 0, Binary = 1, Xml = 2 };
  NodeId typeId;
  Encoding encoding = Encoding::None;
  std::string body;
  friend bool operator==(const ExtensionObject&, const ExtensionObject&) = default;
};

struct DiagnosticInfo {
  bool hasSymbolicId = false, hasNamespaceUri = false, hasLocalizedText = false,
       hasLocale = false, hasAdditionalInfo = false, hasInnerStatusCode = false;
  int32_t symbolicId = 0, namespaceUri = 0, localizedText = 0, locale = 0;
  std::string additionalInfo;
  StatusCode innerStatusCode;
  std::vector<DiagnosticInfo> inner;  // zero or one element
  friend bool operator==(const DiagnosticInfo&, const DiagnosticInfo&) = default;
};

// Built-in type ids; a Scalar's index() equals its type id.
enum class BuiltinType : uint8_t {
  Null = 0, Boolean, SByte, Byte, Int16, UInt16, Int32, UInt32, Int64, UInt64,
  Float, Double, String, DateTime, Guid, ByteString, XmlElement, NodeId,
  ExpandedNodeId, StatusCode, QualifiedName, LocalizedText, ExtensionObject,
  DataValue, Variant, DiagnosticInfo
};

using Scalar = std::variant<std::monostate, bool, int8_t, uint8_t, int16_t, uint16_t, int32_t,
                            uint32_t, int64_t, uint64_t, float, double, std::string, DateTime,
                            Guid, ByteString, XmlElement, NodeId, ExpandedNodeId, StatusCode,
                            QualifiedName, LocalizedText, ExtensionObject>;

// A scalar, or a one- or multi-dimensional array of one built-in type.
struct Variant {
  Scalar scalar;               // used when !isArray
  bool isArray = false;
  BuiltinType arrayType = BuiltinType::Null;
  std::vector<Scalar> array;   // used when isArray; every element of arrayType
  std::vector<int32_t> dimensions;  // empty for one dimension

  Variant() = default;
  template <class T>
    requires(!std::is_same_v<std::decay_t<T>, Variant> && std::is_constructible_v<Scalar, T>)
  Variant(T value) : scalar(std::move(value)) {}  // NOLINT: implicit on purpose
  Variant(const char* text) : scalar(std::string(text)) {}

  static Variant Array(BuiltinType type, std::vector<Scalar> elements);
  BuiltinType Type() const {
    return isArray ? arrayType : static_cast<BuiltinType>(scalar.index());
  }
  bool IsEmpty() const { return !isArray && scalar.index() == 0; }
  friend bool operator==(const Variant&, const Variant&) = default;
};

struct DataValue {
  bool hasValue = false, hasStatus = false, hasSourceTimestamp = false,
       hasServerTimestamp = false;
  Variant value;
  StatusCode status;
  DateTime sourceTimestamp, serverTimestamp;
  uint16_t sourcePicoseconds = 0, serverPicoseconds = 0;
  bool hasSourcePicoseconds = false, hasServerPicoseconds = false;

  static DataValue Of(Variant v) {
    DataValue d;
    d.hasValue = true;
    d.value = std::move(v);
    return d;
  }
  static DataValue Bad(StatusCode code) {
    DataValue d;
    d.hasStatus = true;
    d.status = code;
    return d;
  }
  friend bool operator==(const DataValue&, const DataValue&) = default;
};

}  // namespace opcua
