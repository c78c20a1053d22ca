#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "ServedServer.h"
#include "engine/NumberText.h"

namespace qx {
namespace {

using opcua::Variant;

TEST(VariantText, EveryScalarTypeAsText) {
  struct Case {
    Variant value;
    char separator;
    const char* text;
  };
  const Case cases[] = {
      {Variant(true), '.', "True"},
      {Variant(false), '.', "False"},
      {Variant(int8_t{-8}), '.', "-8"},
      {Variant(uint8_t{200}), '.', "200"},
      {Variant(int16_t{-300}), '.', "-300"},
      {Variant(uint16_t{60000}), '.', "60000"},
      {Variant(int32_t{7}), '.', "7"},
      {Variant(uint32_t{4000000000u}), '.', "4000000000"},
      {Variant(int64_t{-9000000000}), '.', "-9000000000"},
      {Variant(uint64_t{18000000000000000000u}), '.', "18000000000000000000"},
      {Variant(2.5f), '.', "2.5"},
      {Variant(2.5f), ',', "2,5"},
      {Variant(0.1f), '.', "0.100000001490116"},
      {Variant(0.1), ',', "0,1"},
      {Variant(1e99), '.', "1E99"},
      {Variant(std::string("2,5")), '.', "2,5"},  // texts pass as they are
      {Variant(std::string("")), '.', ""},
  };
  for (const Case& c : cases) {
    std::string text = "unset";
    EXPECT_TRUE(VariantText(c.value, c.separator, text)) << "type " << int(c.value.Type());
    EXPECT_EQ(text, c.text) << "type " << int(c.value.Type());
  }
}

TEST(VariantText, NoTextForArraysAndNonScalarTypes) {
  const Variant refused[] = {
      Variant(),
      Variant(opcua::DateTime{1}),
      Variant(opcua::Guid{}),
      Variant(opcua::ByteString("2.5")),
      Variant(opcua::NodeId(1, 5)),
      Variant(opcua::LocalizedText{"en", "2.5"}),
      Variant::Array(opcua::BuiltinType::String, {std::string("2.5")}),
  };
  for (const Variant& value : refused) {
    std::string text = "unset";
    EXPECT_FALSE(VariantText(value, '.', text)) << "type " << int(value.Type());
    EXPECT_EQ(text, "unset");
  }
}

TEST(TextNumber, WholeFiniteSingleNumbersOnly) {
  struct Case {
    const char* text;
    char separator;
    bool good;
    float number;  // when good
  };
  const float kMax = std::numeric_limits<float>::max();
  const Case cases[] = {
      {"2.5", '.', true, 2.5f},      {" 2.5 ", '.', true, 2.5f}, {"-7", '.', true, -7},
      {"1E3", '.', true, 1000},      {"2,5", ',', true, 2.5f},   {"3.4028234e38", '.', true, kMax},
      {"1e-50", '.', true, 0},       // below the single range: zero
      {"2,5", '.', false, 0},        {"2.5", ',', false, 0},     {"abc", '.', false, 0},
      {"", '.', false, 0},           {"2.5x", '.', false, 0},    {"1e99", '.', false, 0},
      {"-1e39", '.', false, 0},      {"inf", '.', false, 0},     {"nan", '.', false, 0},
      {"0x10", '.', false, 0},       {"1e999", '.', false, 0},
  };
  for (const Case& c : cases) {
    float number = 42;
    const opcua::StatusCode status = TextNumber(c.text, c.separator, number);
    EXPECT_EQ(status.IsGood(), c.good) << "'" << c.text << "' with '" << c.separator << "'";
    EXPECT_EQ(number, c.good ? c.number : 42) << "'" << c.text << "'";
  }
}

// Client writes through a served COPCServer: the real write path from the
// request to the hook, the hand-off, and the delivery into the loop model
// and the edits.
class WriteHook : public ::testing::Test {
 protected:
  void Serve(char separator, bool withHandOff = true) {
    model_.SingleLoop.P = 1;
    model_.SingleLoop.I = 20;
    model_.SingleLoop.SP = 50;
    server_ = test::ServeOnFreePort(
        [&] {
          auto server = std::make_unique<COPCServer>(model_, separator);
          if (withHandOff) server->SetClientWriteHandOff(&handOff_);
          return server;
        },
        endpoint_);
    ASSERT_TRUE(server_);
    std::string error;
    ASSERT_TRUE(client_.Connect(endpoint_, error)) << error;
  }

  opcua::StatusCode Write(std::string_view item, const Variant& value) {
    return client_.Write(test::ItemNode(item), value);
  }

  // What the GUI thread does between two steps: the queued writes into
  // the model and the edits.
  void DeliverWrites() {
    handOff_.Deliver(model_, [this](std::string_view edit, const std::string& text) {
      edits_.emplace_back(std::string(edit), text);
    });
  }
  std::vector<std::pair<std::string, std::string>> Edits() {
    DeliverWrites();
    return edits_;
  }

  // The fields once the writes have been delivered.
  float P() {
    DeliverWrites();
    return LoadShared(model_.SingleLoop.P);
  }
  float I() {
    DeliverWrites();
    return LoadShared(model_.SingleLoop.I);
  }

  LoopModel model_;
  ClientWriteHandOff handOff_;  // outlives the server, which posts to it
  std::string endpoint_;
  std::unique_ptr<COPCServer> server_;
  opcua::Client client_;
  std::vector<std::pair<std::string, std::string>> edits_;
};

TEST_F(WriteHook, NumbersOfEveryScalarTypeSetTheGain) {
  Serve('.');
  struct Case {
    Variant value;
    float p;
  };
  const Case cases[] = {
      {Variant(std::string("2.5")), 2.5f}, {Variant(int32_t{7}), 7},   {Variant(0.1f), 0.1f},
      {Variant(2.25), 2.25f},              {Variant(int8_t{-3}), -3},  {Variant(uint8_t{9}), 9},
      {Variant(int16_t{11}), 11},          {Variant(uint16_t{12}), 12}, {Variant(uint32_t{13}), 13},
      {Variant(int64_t{14}), 14},          {Variant(uint64_t{15}), 15},
      {Variant(std::string(" 3 ")), 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Write("QX_S.PROP", c.value), opcua::status::Good) << "type " << int(c.value.Type());
    EXPECT_EQ(P(), c.p) << "type " << int(c.value.Type());
  }
  // The item keeps the written value as its text.
  EXPECT_EQ(test::ReadItemText(client_, "QX_S.PROP"), " 3 ");
  EXPECT_EQ(I(), 20);
}

TEST_F(WriteHook, GainAndIntegralEditsShowSixDecimals) {
  Serve('.');
  ASSERT_EQ(Write("QX_S.PROP", Variant(std::string("2.5"))), opcua::status::Good);
  ASSERT_EQ(Write("QX_S.INTG", Variant(int32_t{7})), opcua::status::Good);
  EXPECT_EQ(P(), 2.5f);
  EXPECT_EQ(I(), 7);
  // Beyond four decimals and far from 1 the edit still gets a number.
  ASSERT_EQ(Write("QX_S.INTG", Variant(std::string("-1E20"))), opcua::status::Good);
  ASSERT_EQ(Write("QX_S.PROP", Variant(0.0000125)), opcua::status::Good);
  const std::vector<std::pair<std::string, std::string>> want = {
      {"PSingle", "2.500000"},
      {"ISingle", "7.000000"},
      {"ISingle", "-100000002004087734272.000000"},
      {"PSingle", "0.000012"}};  // the single nearest 0.0000125 lies below it
  EXPECT_EQ(Edits(), want);
}

TEST_F(WriteHook, CommaSeparatorForWrittenTextsAndEdits) {
  Serve(',');
  EXPECT_EQ(Write("QX_S.PROP", Variant(std::string("2,5"))), opcua::status::Good);
  EXPECT_EQ(P(), 2.5f);
  EXPECT_EQ(Write("QX_S.INTG", Variant(0.75)), opcua::status::Good);  // "0,75"
  EXPECT_EQ(I(), 0.75f);
  EXPECT_FALSE(Write("QX_S.PROP", Variant(std::string("3.5"))).IsGood());
  EXPECT_EQ(P(), 2.5f);
  const std::vector<std::pair<std::string, std::string>> want = {{"PSingle", "2,500000"},
                                                                  {"ISingle", "0,750000"}};
  EXPECT_EQ(Edits(), want);
}

// The write arrives, and the run picks up pending changes (the tuning edits
// into the fields) before the write has been delivered: the written gain
// must survive, in the field and in its edit.
TEST_F(WriteHook, APickupBeforeTheDeliveryDoesNotUndoTheWrite) {
  Serve('.');
  std::string gainEdit = "1.0000";
  ASSERT_EQ(Write("QX_S.PROP", Variant(std::string("2.5"))), opcua::status::Good);
  // Only the GUI thread writes the field: nothing has changed yet.
  EXPECT_EQ(LoadShared(model_.SingleLoop.P), 1);
  StoreShared(model_.SingleLoop.P, ParseLeadingSingle(gainEdit));  // the pickup
  handOff_.Deliver(model_, [&](std::string_view, const std::string& text) { gainEdit = text; });
  EXPECT_EQ(LoadShared(model_.SingleLoop.P), 2.5f);
  EXPECT_EQ(gainEdit, "2.500000");
  StoreShared(model_.SingleLoop.P, ParseLeadingSingle(gainEdit));  // the next pickup
  EXPECT_EQ(LoadShared(model_.SingleLoop.P), 2.5f);
}

TEST_F(WriteHook, WithoutAHandOffTheHookStoresAtOnce) {
  Serve('.', false);
  ASSERT_EQ(Write("QX_S.INTG", Variant(std::string("7.5"))), opcua::status::Good);
  EXPECT_EQ(LoadShared(model_.SingleLoop.I), 7.5f);
}

TEST_F(WriteHook, NonNumbersAndNonFiniteValuesAreRefusedAndChangeNothing) {
  Serve('.');
  ASSERT_EQ(Write("QX_S.PROP", Variant(std::string("1.5"))), opcua::status::Good);
  ASSERT_EQ(Write("QX_S.INTG", Variant(std::string("30"))), opcua::status::Good);
  const std::size_t editsBefore = Edits().size();
  const Variant refused[] = {
      Variant(std::string("abc")),
      Variant(std::string("")),
      Variant(std::string("1e99")),
      Variant(std::string("2.5 3")),
      Variant(1e99),
      Variant(std::numeric_limits<double>::infinity()),
      Variant(std::numeric_limits<float>::quiet_NaN()),
      Variant(true),
      Variant(opcua::DateTime::Now()),
      Variant::Array(opcua::BuiltinType::Int32, {int32_t{1}}),
  };
  for (const char* item : {"QX_S.PROP", "QX_S.INTG"}) {
    for (const Variant& value : refused) {
      EXPECT_TRUE(Write(item, value).IsBad()) << item << " type " << int(value.Type());
    }
  }
  EXPECT_EQ(P(), 1.5f);
  EXPECT_EQ(I(), 30);
  EXPECT_EQ(Edits().size(), editsBefore);
  EXPECT_EQ(test::ReadItemText(client_, "QX_S.PROP"), "1.5");
  EXPECT_EQ(test::ReadItemText(client_, "QX_S.INTG"), "30");
}

TEST_F(WriteHook, OtherItemsTakeTheTextAndLeaveTheLoopAlone) {
  Serve('.');
  const LoopModel before = model_;
  EXPECT_EQ(Write("QX_S.SP", Variant(std::string("12345"))), opcua::status::Good);
  EXPECT_EQ(Write("QX_S.K", Variant(9.5)), opcua::status::Good);
  EXPECT_EQ(Write("DUMMYTAG.PV", Variant(std::string("abc"))), opcua::status::Good);
  EXPECT_EQ(test::ReadItemText(client_, "QX_S.SP"), "12345");
  EXPECT_EQ(test::ReadItemText(client_, "QX_S.K"), "9.5");
  EXPECT_EQ(model_.SingleLoop.SP, before.SingleLoop.SP);
  EXPECT_EQ(P(), before.SingleLoop.P);
  EXPECT_TRUE(Edits().empty());
  // The next publication overwrites what was written.
  server_->PublishItemValues(PanelSnapshot{false, "0"});
  for (int i = 0; i < 100 && test::ReadItemText(client_, "QX_S.SP") != "50"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(test::ReadItemText(client_, "QX_S.SP"), "50");
  EXPECT_EQ(test::ReadItemText(client_, "QX_S.K"), "1");
}

}  // namespace
}  // namespace qx
