#pragma once
// The record format of the fuzzers' inputs, shared by the harnesses that read
// it and the corpus tools that write seeds in it.
//
// Byte 0 (the lead) tells the harness how to start; then records, each:
// kind (1 byte), length (2 bytes, little-endian), data. What the lead's bits
// and the kinds mean is the harness's own.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace opcua::fuzz {

struct Record {
  uint8_t kind;
  std::string data;
};

inline std::string EncodeRecords(uint8_t lead, const std::vector<Record>& records) {
  std::string out(1, static_cast<char>(lead));
  for (const auto& r : records) {
    out.push_back(static_cast<char>(r.kind));
    uint16_t n = static_cast<uint16_t>(r.data.size());
    out.append(reinterpret_cast<const char*>(&n), 2);
    out.append(r.data);
  }
  return out;
}

// The data of a request record for `request`: its type id (2 bytes) and the
// request after its header, which the harness writes itself.
template <class Req>
std::string RequestData(const Req& request) {
  std::string body = Encode(request);
  std::string header = Encode(request.requestHeader);
  uint16_t typeId = static_cast<uint16_t>(Req::kTypeId);
  std::string data(reinterpret_cast<const char*>(&typeId), 2);
  data += body.substr(header.size());
  return data;
}

// Reads the records after the lead byte of a fuzzer input. Any bytes are an
// input: a kind is taken modulo the number of kinds, and a length past the
// end is cut to the bytes that are left.
class RecordReader {
 public:
  RecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // False when fewer than a record's 3 header bytes are left.
  bool Next(uint8_t kinds, uint8_t& kind, std::string_view& bytes) {
    if (at_ + 3 > size_) return false;
    kind = data_[at_] % kinds;
    uint16_t n = 0;
    std::memcpy(&n, data_ + at_ + 1, 2);
    at_ += 3;
    n = static_cast<uint16_t>(std::min<size_t>(n, size_ - at_));
    bytes = std::string_view(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 1;
};

// Writes one seed input to `dir`/`name`; false when it could not be written.
inline bool WriteSeed(const std::string& dir, const std::string& name, const std::string& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

}  // namespace opcua::fuzz
