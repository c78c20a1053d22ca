// Binary encoding: exact bytes for the compact forms, round trips of every
// built-in type, and decoders that fail cleanly on truncated or lying input.

#include <gtest/gtest.h>

#include "opcua/Binary.h"
#include "opcua/MethodTypes.h"
#include "opcua/ServiceTypes.h"

namespace opcua {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

TEST(BinaryEncoding, NodeIdUsesTheSmallestForm) {
  struct Case {
    NodeId id;
    const char* hex;
  } cases[] = {
      {NodeId(0, 85), "0055"},                           // two-byte
      {NodeId(1, 1000), "0101E803"},                     // four-byte
      {NodeId(0, 70000), "02000070110100"},              // full numeric
      {NodeId(300, 5), "022C0105000000"},                // namespace beyond a byte
      {NodeId(1, "QX_S.PV"), "0301000700000051585F532E5056"},
      {NodeId(1, ""), "03010000000000"},                 // empty string id is not null
      {NodeId::Opaque(2, "\x01\x02"), "0502000200000001 02"},
  };
  for (const auto& c : cases) {
    std::string expected = c.hex;
    std::erase(expected, ' ');
    EXPECT_EQ(Hex(Encode(c.id)), expected) << c.id.ToString();
  }
}

TEST(BinaryEncoding, NullAndEmptyStringsAndByteStrings) {
  EXPECT_EQ(Hex(Encode(std::string())), "FFFFFFFF");
  EXPECT_EQ(Hex(Encode(ByteString())), "FFFFFFFF");
  EXPECT_EQ(Hex(Encode(ByteString(""))), "00000000");
  ByteString decoded;
  ASSERT_EQ(Decode(std::string("\xFF\xFF\xFF\xFF", 4), decoded), status::Good);
  EXPECT_TRUE(decoded.isNull);
}

// One value of every built-in type the stack decodes, as Variants, plus the
// composite types on their own.
std::vector<Variant> SampleVariants() {
  Guid guid{0x72962B91, 0xFA75, 0x4AE6, {0x8D, 0x28, 0xB4, 0x04, 0xDC, 0x7D, 0xAF, 0x63}};
  NodeId guidId;
  guidId.ns = 4;
  guidId.type = IdType::Guid;
  guidId.guid = guid;
  ExtensionObject ext = Wrap(AnonymousIdentityToken{"anon"});
  return {
      Variant(),
      Variant(true),
      Variant(int8_t{-5}),
      Variant(uint8_t{250}),
      Variant(int16_t{-30000}),
      Variant(uint16_t{60000}),
      Variant(int32_t{-2000000000}),
      Variant(uint32_t{4000000000u}),
      Variant(int64_t{-9000000000000LL}),
      Variant(uint64_t{18000000000000000000ULL}),
      Variant(1.5f),
      Variant(-2.25),
      Variant(std::string("text with ü")),
      Variant(DateTime::FromUnixMicros(1'700'000'000'123'456LL)),
      Variant(guid),
      Variant(ByteString(std::string("\0\1\2", 3))),
      Variant(XmlElement{"<a/>"}),
      Variant(guidId),
      Variant(ExpandedNodeId{NodeId(2, "x"), "urn:other", 3}),
      Variant(status::BadTypeMismatch),
      Variant(QualifiedName{1, "Name"}),
      Variant(LocalizedText{"en", "Text"}),
      Variant(ext),
      Variant::Array(BuiltinType::String, {std::string("a"), std::string("b")}),
      Variant::Array(BuiltinType::Double, {}),
      [] {
        Variant v = Variant::Array(BuiltinType::Int32, {int32_t{1}, int32_t{2}, int32_t{3},
                                                        int32_t{4}, int32_t{5}, int32_t{6}});
        v.dimensions = {2, 3};
        return v;
      }(),
  };
}

DataValue FullDataValue() {
  DataValue d = DataValue::Of(std::string("v"));
  d.hasStatus = d.hasSourceTimestamp = d.hasServerTimestamp = true;
  d.hasSourcePicoseconds = d.hasServerPicoseconds = true;
  d.status = StatusCode{0x00000480};
  d.sourceTimestamp = DateTime{1};
  d.serverTimestamp = DateTime{2};
  d.sourcePicoseconds = 3;
  d.serverPicoseconds = 4;
  return d;
}

DiagnosticInfo NestedDiagnostic(int depth) {
  DiagnosticInfo d;
  d.hasSymbolicId = d.hasAdditionalInfo = d.hasInnerStatusCode = true;
  d.symbolicId = depth;
  d.additionalInfo = "level";
  d.innerStatusCode = status::BadInternalError;
  if (depth > 1) d.inner.push_back(NestedDiagnostic(depth - 1));
  return d;
}

template <class T>
void ExpectRoundTripAndTruncation(const T& value, const std::string& what) {
  std::string bytes = Encode(value);
  T decoded;
  ASSERT_EQ(Decode(bytes, decoded), status::Good) << what;
  EXPECT_TRUE(decoded == value) << what;
  // Every strict prefix is incomplete and must be refused, never overread.
  for (size_t n = 0; n < bytes.size(); ++n) {
    T partial;
    EXPECT_FALSE(Decode(std::string_view(bytes).substr(0, n), partial).IsGood())
        << what << " accepted after " << n << " of " << bytes.size() << " bytes";
  }
}

TEST(BinaryEncoding, EveryBuiltinTypeRoundTripsAndRefusesEveryTruncation) {
  auto samples = SampleVariants();
  for (size_t i = 0; i < samples.size(); ++i)
    ExpectRoundTripAndTruncation(samples[i], "variant #" + std::to_string(i));
  ExpectRoundTripAndTruncation(FullDataValue(), "DataValue");
  ExpectRoundTripAndTruncation(NestedDiagnostic(4), "DiagnosticInfo");
}

TEST(BinaryEncoding, ServiceMessagesRoundTripAndRefuseEveryTruncation) {
  ReadRequest read;
  read.requestHeader.authenticationToken = NodeId::Opaque(0, "token");
  read.requestHeader.requestHandle = 7;
  read.timestampsToReturn = TimestampsToReturn::Source;
  read.nodesToRead = {{NodeId(1, "QX_S.PV"), 13, "", {}}, {NodeId(0, 2256), 4, "", {0, "x"}}};
  std::string bytes = Encode(read);
  ReadRequest decoded;
  ASSERT_EQ(Decode(bytes, decoded), status::Good);
  EXPECT_EQ(Encode(decoded), bytes);
  for (size_t n = 0; n < bytes.size(); ++n) {
    ReadRequest partial;
    EXPECT_FALSE(Decode(std::string_view(bytes).substr(0, n), partial).IsGood()) << n;
  }

  PublishResponse publish;
  publish.subscriptionId = 3;
  publish.availableSequenceNumbers = {1, 2};
  DataChangeNotification changes;
  changes.monitoredItems = {{5, FullDataValue()}};
  publish.notificationMessage.notificationData = {Wrap(changes)};
  PublishResponse publishDecoded;
  ASSERT_EQ(Decode(Encode(publish), publishDecoded), status::Good);
  DataChangeNotification changesDecoded;
  ASSERT_EQ(Unwrap(publishDecoded.notificationMessage.notificationData.at(0), changesDecoded),
            status::Good);
  EXPECT_TRUE(changesDecoded.monitoredItems.at(0).value == FullDataValue());
}

// Structures without equality: the decoded value encodes to the same bytes.
template <class T>
void ExpectSameBytesAndTruncation(const T& value, const std::string& what) {
  std::string bytes = Encode(value);
  T decoded;
  ASSERT_EQ(Decode(bytes, decoded), status::Good) << what;
  EXPECT_EQ(Encode(decoded), bytes) << what;
  for (size_t n = 0; n < bytes.size(); ++n) {
    T partial;
    EXPECT_FALSE(Decode(std::string_view(bytes).substr(0, n), partial).IsGood())
        << what << " accepted after " << n << " of " << bytes.size() << " bytes";
  }
}

TEST(BinaryEncoding, CallMessagesAndMethodStructuresRoundTripAndRefuseEveryTruncation) {
  CallRequest call;
  call.requestHeader.requestHandle = 9;
  call.methodsToCall = {{NodeId(1, "Loop"), NodeId(1, "Loop.Step"), {2.5, int32_t{3}, "x"}},
                        {NodeId(0, 2782), NodeId(0, 3875), {}}};
  ExpectSameBytesAndTruncation(call, "CallRequest");

  CallResponse answer;
  CallMethodResult refused;
  refused.statusCode = status::BadInvalidArgument;
  refused.inputArgumentResults = {status::Good, status::BadTypeMismatch};
  refused.inputArgumentDiagnosticInfos = {NestedDiagnostic(1), DiagnosticInfo{}};
  CallMethodResult good;
  good.outputArguments = {1.5, Variant::Array(BuiltinType::Int32, {int32_t{1}, int32_t{2}})};
  answer.results = {refused, good};
  ExpectSameBytesAndTruncation(answer, "CallResponse");

  ExpectSameBytesAndTruncation(Argument{"delta", NodeId(0, 11), -1, {2}, {"en", "The step"}},
                               "Argument");
  Range range{-1.5, 100};
  ExpectSameBytesAndTruncation(range, "Range");
  Range back;
  ASSERT_EQ(Unwrap(Wrap(range), back), status::Good);
  EXPECT_EQ(Encode(back).size(), 2 * sizeof(double)) << "two Doubles, low then high";
  EXPECT_EQ(back.low, -1.5);
  EXPECT_EQ(back.high, 100);
}

TEST(BinaryDecoding, RefusesHostileInput) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"array length far beyond the bytes present", std::string("\x8C\xFF\xFF\xFF\x7F", 5)},
      {"negative array length below -1", std::string("\x8C\xFE\xFF\xFF\xFF", 5)},
      {"string length beyond the bytes present", std::string("\x0C\x10\x00\x00\x00" "abc", 8)},
      {"unknown variant type", std::string("\x3F", 1)},
      {"nested variant type", std::string("\x18\x00", 2)},
      {"dimensions on a scalar", std::string("\x46\x01\x00\x00\x00", 5)},
      {"array of Null elements", std::string("\x80\x01\x00\x00\x00", 5)},
      {"unknown NodeId encoding", std::string("\x11\x07", 2)},
  };
  for (const auto& c : cases) {
    Variant v;
    EXPECT_FALSE(Decode(c.bytes, v).IsGood()) << c.what;
  }
  ExtensionObject e;
  EXPECT_FALSE(Decode(std::string("\x00\x00\x03", 3), e).IsGood()) << "unknown body encoding";
  EXPECT_FALSE(Decode(Encode(NodeId(0, 85)) + "x", e).IsGood()) << "bytes left over";
}

TEST(BinaryDecoding, CapsNestingDepth) {
  std::string bytes = Encode(NestedDiagnostic(kMaxNestingDepth));
  DiagnosticInfo ok;
  EXPECT_EQ(Decode(bytes, ok), status::Good);
  // Deeper than the cap: built by hand so the test does not depend on the
  // encoder agreeing to write it.
  std::string deep;
  for (int i = 0; i < 10'000; ++i) deep += '\x40';
  deep += '\x00';
  DiagnosticInfo refused;
  EXPECT_EQ(Decode(deep, refused), status::BadEncodingLimitsExceeded);
}

}  // namespace
}  // namespace opcua
