#include "opcua/Binary.h"

namespace opcua {

namespace {
// NodeId encoding bytes.
constexpr uint8_t kTwoByte = 0x00, kFourByte = 0x01, kNumeric = 0x02, kString = 0x03,
                  kGuid = 0x04, kByteStringId = 0x05;
constexpr uint8_t kNamespaceUriFlag = 0x80, kServerIndexFlag = 0x40;
constexpr uint8_t kVariantArrayFlag = 0x80, kVariantDimensionsFlag = 0x40;
}  // namespace

// ---- Writer ---------------------------------------------------------------

void Writer::Put(const std::string& v) {
  if (v.empty()) return Put(int32_t{-1});
  Put(static_cast<int32_t>(v.size()));
  out_.append(v);
}

void Writer::Put(const Guid& v) {
  Put(v.data1);
  Put(v.data2);
  Put(v.data3);
  out_.append(reinterpret_cast<const char*>(v.data4.data()), v.data4.size());
}

void Writer::Put(const ByteString& v) {
  if (v.isNull) return Put(int32_t{-1});
  Put(static_cast<int32_t>(v.data.size()));
  out_.append(v.data);
}

void Writer::Put(const XmlElement& v) { Put(v.data); }

static void PutNodeIdBody(Writer& w, const NodeId& v, uint8_t flags) {
  switch (v.type) {
    case IdType::Numeric:
      if (v.ns == 0 && v.numeric <= 0xFF) {
        w.Put(static_cast<uint8_t>(kTwoByte | flags));
        w.Put(static_cast<uint8_t>(v.numeric));
      } else if (v.ns <= 0xFF && v.numeric <= 0xFFFF) {
        w.Put(static_cast<uint8_t>(kFourByte | flags));
        w.Put(static_cast<uint8_t>(v.ns));
        w.Put(static_cast<uint16_t>(v.numeric));
      } else {
        w.Put(static_cast<uint8_t>(kNumeric | flags));
        w.Put(v.ns);
        w.Put(v.numeric);
      }
      return;
    case IdType::String:
      w.Put(static_cast<uint8_t>(kString | flags));
      w.Put(v.ns);
      // A string identifier is never null, even when empty.
      w.Put(static_cast<int32_t>(v.text.size()));
      w.PutBytes(v.text);
      return;
    case IdType::Guid:
      w.Put(static_cast<uint8_t>(kGuid | flags));
      w.Put(v.ns);
      w.Put(v.guid);
      return;
    case IdType::Opaque:
      w.Put(static_cast<uint8_t>(kByteStringId | flags));
      w.Put(v.ns);
      w.Put(ByteString(v.text));
      return;
  }
}

void Writer::Put(const NodeId& v) { PutNodeIdBody(*this, v, 0); }

void Writer::Put(const ExpandedNodeId& v) {
  uint8_t flags = 0;
  if (!v.namespaceUri.empty()) flags |= kNamespaceUriFlag;
  if (v.serverIndex != 0) flags |= kServerIndexFlag;
  PutNodeIdBody(*this, v.nodeId, flags);
  if (!v.namespaceUri.empty()) Put(v.namespaceUri);
  if (v.serverIndex != 0) Put(v.serverIndex);
}

void Writer::Put(const QualifiedName& v) {
  Put(v.ns);
  Put(v.name);
}

void Writer::Put(const LocalizedText& v) {
  uint8_t mask = (v.locale.empty() ? 0 : 0x01) | (v.text.empty() ? 0 : 0x02);
  Put(mask);
  if (!v.locale.empty()) Put(v.locale);
  if (!v.text.empty()) Put(v.text);
}

void Writer::Put(const ExtensionObject& v) {
  Put(v.typeId);
  Put(static_cast<uint8_t>(v.encoding));
  if (v.encoding != ExtensionObject::Encoding::None) {
    Put(static_cast<int32_t>(v.body.size()));
    out_.append(v.body);
  }
}

void Writer::Put(const DataValue& v) {
  uint8_t mask = (v.hasValue ? 0x01 : 0) | (v.hasStatus ? 0x02 : 0) |
                 (v.hasSourceTimestamp ? 0x04 : 0) | (v.hasServerTimestamp ? 0x08 : 0) |
                 (v.hasSourcePicoseconds ? 0x10 : 0) | (v.hasServerPicoseconds ? 0x20 : 0);
  Put(mask);
  if (v.hasValue) Put(v.value);
  if (v.hasStatus) Put(v.status);
  if (v.hasSourceTimestamp) Put(v.sourceTimestamp);
  if (v.hasSourcePicoseconds) Put(v.sourcePicoseconds);
  if (v.hasServerTimestamp) Put(v.serverTimestamp);
  if (v.hasServerPicoseconds) Put(v.serverPicoseconds);
}

void Writer::PutScalar(const Scalar& v) {
  std::visit(
      [this](const auto& x) {
        if constexpr (!std::is_same_v<std::decay_t<decltype(x)>, std::monostate>) Put(x);
      },
      v);
}

void Writer::Put(const Variant& v) {
  if (!v.isArray) {
    Put(static_cast<uint8_t>(v.scalar.index()));
    PutScalar(v.scalar);
    return;
  }
  uint8_t mask = static_cast<uint8_t>(v.arrayType) | kVariantArrayFlag |
                 (v.dimensions.empty() ? 0 : kVariantDimensionsFlag);
  Put(mask);
  Put(static_cast<int32_t>(v.array.size()));
  for (const auto& e : v.array) PutScalar(e);
  if (!v.dimensions.empty()) Put(v.dimensions);
}

void Writer::Put(const DiagnosticInfo& v) {
  uint8_t mask = (v.hasSymbolicId ? 0x01 : 0) | (v.hasNamespaceUri ? 0x02 : 0) |
                 (v.hasLocalizedText ? 0x04 : 0) | (v.hasLocale ? 0x08 : 0) |
                 (v.hasAdditionalInfo ? 0x10 : 0) | (v.hasInnerStatusCode ? 0x20 : 0) |
                 (v.inner.empty() ? 0 : 0x40);
  Put(mask);
  if (v.hasSymbolicId) Put(v.symbolicId);
  if (v.hasNamespaceUri) Put(v.namespaceUri);
  if (v.hasLocale) Put(v.locale);
  if (v.hasLocalizedText) Put(v.localizedText);
  if (v.hasAdditionalInfo) Put(v.additionalInfo);
  if (v.hasInnerStatusCode) Put(v.innerStatusCode);
  if (!v.inner.empty()) Put(v.inner.front());
}

// ---- Reader ---------------------------------------------------------------

bool Reader::GetBytes(size_t n, std::string& out) {
  if (!Ok()) return false;
  if (Remaining() < n) {
    Fail(status::BadDecodingError);
    return false;
  }
  out.assign(reinterpret_cast<const char*>(p_), n);
  p_ += n;
  return true;
}

int32_t Reader::ReadArrayLength() {
  int32_t n = 0;
  Get(n);
  if (!Ok()) return 0;
  if (n < -1) {
    Fail(status::BadDecodingError);
    return 0;
  }
  // Every element takes at least one byte, so a length beyond what is left
  // is a lie that must not make us allocate.
  if (n > kMaxDecodedArrayLength || (n > 0 && static_cast<size_t>(n) > Remaining())) {
    Fail(status::BadEncodingLimitsExceeded);
    return 0;
  }
  return n;
}

void Reader::Get(bool& v) {
  uint8_t b = 0;
  GetRaw(b);
  v = b != 0;
}

void Reader::Get(std::string& v) {
  int32_t n = 0;
  Get(n);
  v.clear();
  if (!Ok() || n <= 0) {
    if (n < -1) Fail(status::BadDecodingError);
    return;
  }
  GetBytes(static_cast<size_t>(n), v);
}

void Reader::Get(Guid& v) {
  Get(v.data1);
  Get(v.data2);
  Get(v.data3);
  for (auto& b : v.data4) Get(b);
}

void Reader::Get(ByteString& v) {
  int32_t n = 0;
  Get(n);
  v = ByteString();
  if (!Ok()) return;
  if (n < -1) return Fail(status::BadDecodingError);
  if (n == -1) return;
  v.isNull = false;
  GetBytes(static_cast<size_t>(n), v.data);
}

void Reader::Get(XmlElement& v) { Get(v.data); }

// Reads a NodeId and returns the flag bits of its encoding byte.
static uint8_t GetNodeIdBody(Reader& r, NodeId& v) {
  uint8_t encoding = 0;
  r.Get(encoding);
  v = NodeId();
  switch (encoding & 0x3F) {
    case kTwoByte: {
      uint8_t id = 0;
      r.Get(id);
      v.numeric = id;
      break;
    }
    case kFourByte: {
      uint8_t ns = 0;
      uint16_t id = 0;
      r.Get(ns);
      r.Get(id);
      v.ns = ns;
      v.numeric = id;
      break;
    }
    case kNumeric:
      r.Get(v.ns);
      r.Get(v.numeric);
      break;
    case kString:
      v.type = IdType::String;
      r.Get(v.ns);
      r.Get(v.text);
      break;
    case kGuid:
      v.type = IdType::Guid;
      r.Get(v.ns);
      r.Get(v.guid);
      break;
    case kByteStringId: {
      v.type = IdType::Opaque;
      r.Get(v.ns);
      ByteString b;
      r.Get(b);
      v.text = std::move(b.data);
      break;
    }
    default:
      r.Fail(status::BadDecodingError);
  }
  return encoding & 0xC0;
}

void Reader::Get(NodeId& v) {
  if (GetNodeIdBody(*this, v) != 0) Fail(status::BadDecodingError);
}

void Reader::Get(ExpandedNodeId& v) {
  v = ExpandedNodeId();
  uint8_t flags = GetNodeIdBody(*this, v.nodeId);
  if (flags & kNamespaceUriFlag) Get(v.namespaceUri);
  if (flags & kServerIndexFlag) Get(v.serverIndex);
}

void Reader::Get(QualifiedName& v) {
  Get(v.ns);
  Get(v.name);
}

void Reader::Get(LocalizedText& v) {
  uint8_t mask = 0;
  Get(mask);
  v = LocalizedText();
  if (mask & 0x01) Get(v.locale);
  if (mask & 0x02) Get(v.text);
}

void Reader::Get(ExtensionObject& v) {
  v = ExtensionObject();
  Get(v.typeId);
  uint8_t encoding = 0;
  Get(encoding);
  if (!Ok()) return;
  if (encoding > 2) return Fail(status::BadDecodingError);
  v.encoding = static_cast<ExtensionObject::Encoding>(encoding);
  if (v.encoding == ExtensionObject::Encoding::None) return;
  int32_t n = 0;
  Get(n);
  if (!Ok()) return;
  if (n < -1) return Fail(status::BadDecodingError);
  if (n > 0) GetBytes(static_cast<size_t>(n), v.body);
}

void Reader::Get(DataValue& v) {
  if (!Enter()) return;
  uint8_t mask = 0;
  Get(mask);
  v = DataValue();
  v.hasValue = mask & 0x01;
  v.hasStatus = mask & 0x02;
  v.hasSourceTimestamp = mask & 0x04;
  v.hasServerTimestamp = mask & 0x08;
  v.hasSourcePicoseconds = mask & 0x10;
  v.hasServerPicoseconds = mask & 0x20;
  if (v.hasValue) Get(v.value);
  if (v.hasStatus) Get(v.status);
  if (v.hasSourceTimestamp) Get(v.sourceTimestamp);
  if (v.hasSourcePicoseconds) Get(v.sourcePicoseconds);
  if (v.hasServerTimestamp) Get(v.serverTimestamp);
  if (v.hasServerPicoseconds) Get(v.serverPicoseconds);
  --depth_;
}

void Reader::GetScalar(BuiltinType type, Scalar& v) {
  auto take = [&]<class T>(T value) {
    Get(value);
    v = std::move(value);
  };
  switch (type) {
    case BuiltinType::Null: v = std::monostate{}; return;
    case BuiltinType::Boolean: return take(bool{});
    case BuiltinType::SByte: return take(int8_t{});
    case BuiltinType::Byte: return take(uint8_t{});
    case BuiltinType::Int16: return take(int16_t{});
    case BuiltinType::UInt16: return take(uint16_t{});
    case BuiltinType::Int32: return take(int32_t{});
    case BuiltinType::UInt32: return take(uint32_t{});
    case BuiltinType::Int64: return take(int64_t{});
    case BuiltinType::UInt64: return take(uint64_t{});
    case BuiltinType::Float: return take(float{});
    case BuiltinType::Double: return take(double{});
    case BuiltinType::String: return take(std::string{});
    case BuiltinType::DateTime: return take(DateTime{});
    case BuiltinType::Guid: return take(Guid{});
    case BuiltinType::ByteString: return take(ByteString{});
    case BuiltinType::XmlElement: return take(XmlElement{});
    case BuiltinType::NodeId: return take(NodeId{});
    case BuiltinType::ExpandedNodeId: return take(ExpandedNodeId{});
    case BuiltinType::StatusCode: return take(StatusCode{});
    case BuiltinType::QualifiedName: return take(QualifiedName{});
    case BuiltinType::LocalizedText: return take(LocalizedText{});
    case BuiltinType::ExtensionObject: return take(ExtensionObject{});
    default:
      // DataValue, Variant and DiagnosticInfo inside a Variant are not
      // used by any service this stack offers.
      Fail(status::BadDecodingError);
  }
}

void Reader::Get(Variant& v) {
  uint8_t mask = 0;
  Get(mask);
  v = Variant();
  if (!Ok()) return;
  auto type = static_cast<BuiltinType>(mask & 0x3F);
  if ((mask & 0x3F) > static_cast<uint8_t>(BuiltinType::ExtensionObject))
    return Fail(status::BadDecodingError);
  if (!(mask & kVariantArrayFlag)) {
    if (mask & kVariantDimensionsFlag) return Fail(status::BadDecodingError);
    return GetScalar(type, v.scalar);
  }
  v.isArray = true;
  v.arrayType = type;
  int32_t n = ReadArrayLength();
  if (!Ok()) return;
  if (n > 0) {
    if (type == BuiltinType::Null) return Fail(status::BadDecodingError);
    v.array.resize(static_cast<size_t>(n));
    for (auto& e : v.array) {
      GetScalar(type, e);
      if (!Ok()) return;
    }
  }
  if (mask & kVariantDimensionsFlag) Get(v.dimensions);
}

void Reader::Get(DiagnosticInfo& v) {
  if (!Enter()) return;
  uint8_t mask = 0;
  Get(mask);
  v = DiagnosticInfo();
  v.hasSymbolicId = mask & 0x01;
  v.hasNamespaceUri = mask & 0x02;
  v.hasLocalizedText = mask & 0x04;
  v.hasLocale = mask & 0x08;
  v.hasAdditionalInfo = mask & 0x10;
  v.hasInnerStatusCode = mask & 0x20;
  if (v.hasSymbolicId) Get(v.symbolicId);
  if (v.hasNamespaceUri) Get(v.namespaceUri);
  if (v.hasLocale) Get(v.locale);
  if (v.hasLocalizedText) Get(v.localizedText);
  if (v.hasAdditionalInfo) Get(v.additionalInfo);
  if (v.hasInnerStatusCode) Get(v.innerStatusCode);
  if (mask & 0x40) {
    v.inner.resize(1);
    Get(v.inner.front());
  }
  --depth_;
}

}  // namespace opcua
