#pragma once
// Binary encoding of the built-in types and of structures, as pure functions
// over byte buffers. A structure lists its fields once with QX_UA_FIELDS and
// both directions walk that list, so encoder and decoder cannot drift apart.
//
// The Reader checks every read against the end of its buffer. Its status is
// sticky: after the first failure every further read is a no-op and the
// caller checks Status() once at the end.

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "opcua/Types.h"

#define QX_UA_FIELDS(...)                                              \
  template <class V>                                                   \
  void Visit(V& v) {                                                   \
    v.Fields(__VA_ARGS__);                                             \
  }                                                                    \
  template <class V>                                                   \
  void Visit(V& v) const {                                             \
    v.Fields(__VA_ARGS__);                                             \
  }

namespace opcua {

// Largest array length and string length the decoder accepts, beyond the
// implicit cap of the bytes that are actually there.
inline constexpr int32_t kMaxDecodedArrayLength = 1 << 20;
inline constexpr int kMaxNestingDepth = 16;

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void Put(bool v) { PutRaw<uint8_t>(v ? 1 : 0); }
  void Put(int8_t v) { PutRaw(v); }
  void Put(uint8_t v) { PutRaw(v); }
  void Put(int16_t v) { PutRaw(v); }
  void Put(uint16_t v) { PutRaw(v); }
  void Put(int32_t v) { PutRaw(v); }
  void Put(uint32_t v) { PutRaw(v); }
  void Put(int64_t v) { PutRaw(v); }
  void Put(uint64_t v) { PutRaw(v); }
  void Put(float v) { PutRaw(v); }
  void Put(double v) { PutRaw(v); }
  void Put(const std::string& v);  // empty encodes as a null string
  void Put(DateTime v) { PutRaw(v.ticks); }
  void Put(const Guid& v);
  void Put(const ByteString& v);
  void Put(const XmlElement& v);
  void Put(const NodeId& v);
  void Put(const ExpandedNodeId& v);
  void Put(StatusCode v) { PutRaw(v.value); }
  void Put(const QualifiedName& v);
  void Put(const LocalizedText& v);
  void Put(const ExtensionObject& v);
  void Put(const DataValue& v);
  void Put(const Variant& v);
  void Put(const DiagnosticInfo& v);
  void PutScalar(const Scalar& v);

  template <class E>
    requires std::is_enum_v<E>
  void Put(E v) {
    Put(static_cast<int32_t>(v));
  }
  // Arrays: an empty vector encodes as an empty array, not a null one.
  template <class T>
  void Put(const std::vector<T>& v) {
    Put(static_cast<int32_t>(v.size()));
    for (const auto& e : v) Put(e);
  }
  template <class T>
    requires requires(const T& t, Writer& w) { t.Visit(w); }
  void Put(const T& v) {
    v.Visit(*this);
  }
  template <class... A>
  void Fields(const A&... a) {
    (Put(a), ...);
  }

  void PutBytes(std::string_view bytes) { out_.append(bytes); }

 private:
  template <class T>
  void PutRaw(T v) {
    // The wire is little-endian, as are the machines this runs on.
    static_assert(std::endian::native == std::endian::little);
    out_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  std::string& out_;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  explicit Reader(std::string_view bytes)
      : Reader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) {}

  void Get(bool& v);
  void Get(int8_t& v) { GetRaw(v); }
  void Get(uint8_t& v) { GetRaw(v); }
  void Get(int16_t& v) { GetRaw(v); }
  void Get(uint16_t& v) { GetRaw(v); }
  void Get(int32_t& v) { GetRaw(v); }
  void Get(uint32_t& v) { GetRaw(v); }
  void Get(int64_t& v) { GetRaw(v); }
  void Get(uint64_t& v) { GetRaw(v); }
  void Get(float& v) { GetRaw(v); }
  void Get(double& v) { GetRaw(v); }
  void Get(std::string& v);
  void Get(DateTime& v) { GetRaw(v.ticks); }
  void Get(Guid& v);
  void Get(ByteString& v);
  void Get(XmlElement& v);
  void Get(NodeId& v);
  void Get(ExpandedNodeId& v);
  void Get(StatusCode& v) { GetRaw(v.value); }
  void Get(QualifiedName& v);
  void Get(LocalizedText& v);
  void Get(ExtensionObject& v);
  void Get(DataValue& v);
  void Get(Variant& v);
  void Get(DiagnosticInfo& v);
  void GetScalar(BuiltinType type, Scalar& v);

  template <class E>
    requires std::is_enum_v<E>
  void Get(E& v) {
    int32_t raw = 0;
    Get(raw);
    v = static_cast<E>(raw);
  }
  template <class T>
  void Get(std::vector<T>& v) {
    int32_t n = ReadArrayLength();
    v.clear();
    if (n <= 0) return;
    v.resize(static_cast<size_t>(n));
    for (auto& e : v) {
      Get(e);
      if (!Ok()) return;
    }
  }
  template <class T>
    requires requires(T& t, Reader& r) { t.Visit(r); }
  void Get(T& v) {
    if (!Enter()) return;
    v.Visit(*this);
    --depth_;
  }
  template <class... A>
  void Fields(A&... a) {
    (Get(a), ...);
  }

  // Takes `n` raw bytes, or fails if fewer remain.
  bool GetBytes(size_t n, std::string& out);
  void Fail(StatusCode code) {
    if (status_.IsGood()) status_ = code;
  }
  bool Ok() const { return status_.IsGood(); }
  StatusCode Status() const { return status_; }
  size_t Remaining() const { return static_cast<size_t>(end_ - p_); }
  const uint8_t* Position() const { return p_; }

 private:
  template <class T>
  void GetRaw(T& v) {
    if (!Ok()) return;
    if (Remaining() < sizeof v) return Fail(status::BadDecodingError);
    __builtin_memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
  }
  int32_t ReadArrayLength();
  bool Enter() {
    if (++depth_ > kMaxNestingDepth) {
      --depth_;
      Fail(status::BadEncodingLimitsExceeded);
      return false;
    }
    return true;
  }

  const uint8_t* p_;
  const uint8_t* end_;
  StatusCode status_ = status::Good;
  int depth_ = 0;
};

// Encodes one value into a fresh buffer.
template <class T>
std::string Encode(const T& v) {
  std::string out;
  Writer w(out);
  w.Put(v);
  return out;
}

// Decodes one value that must fill `bytes` exactly.
template <class T>
StatusCode Decode(std::string_view bytes, T& v) {
  Reader r(bytes);
  r.Get(v);
  if (r.Ok() && r.Remaining() != 0) r.Fail(status::BadDecodingError);
  return r.Status();
}

}  // namespace opcua
