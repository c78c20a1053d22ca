// The master link on a scripted client: the set-up steps and their two
// messages, the connect button, and the data-change handler that takes the
// master's output as the set point.
#include <cmath>
#include <memory>
#include <set>

#include "AppFixture.h"
#include "app/MasterLink.h"
#include "app/PanelActions.h"
#include "opc/OPCQuality.h"
#include "opc/OPCServer.h"
#include "opcua/StatusCodes.h"

namespace qx {
namespace {

using Kind = OPCClientReport::Kind;

// A master that answers at once: reachable or not, knowing some items, and
// refusing items while connected when told to.
class FakeMaster final : public OPCClient {
 public:
  bool Reachable = true;
  std::set<std::string> Known = {"QX_S.OP"};
  bool Connected = false;
  int Connects = 0;

  void AddPendingItems(OPCClientGroup& group) override {
    OPCClientReport done{Kind::AddItemsDone, group.Id(), {}, {}};
    if (Connected) done.Updates = Outcomes(group);
    Report(std::move(done));
  }

  void SetActive(bool active) override {
    if (active && Active()) {
      Report({Kind::SetActiveDone, 0, Connected ? "" : "not connected", {}});
    } else if (active) {
      SetActiveFlag(true);
      ++Connects;
      if (!Reachable) {
        Report({Kind::SetActiveDone, 0, "connection refused", {}});
        return;
      }
      Connected = true;
      Report({Kind::Connected, 0, {}, {}});
      OPCClientReport done{Kind::SetActiveDone, 0, {}, {}};
      for (std::size_t g = 0; g < GroupCount(); ++g)
        for (OPCItemUpdate& outcome : Outcomes(Group(g))) done.Updates.push_back(outcome);
      Report(std::move(done));
    } else if (Active()) {
      SetActiveFlag(false);
      Connected = false;
      Report({Kind::Disconnected, 0, "closed", {}});
    }
  }

  // The server sends a new value of the first group's first item.
  void Publish(std::string text, uint16_t quality) {
    OPCClientGroup& group = Group(0);
    Report({Kind::DataChange, group.Id(), {}, {{group.Item(0).Handle, 0, std::move(text), quality}}});
  }

  void Drop() {
    Connected = false;
    Report({Kind::Disconnected, 0, "lost", {}});
  }

 private:
  std::vector<OPCItemUpdate> Outcomes(OPCClientGroup& group) {
    std::vector<OPCItemUpdate> outcomes;
    for (std::size_t i = 0; i < group.ItemCount(); ++i) {
      const OPCClientItem& item = group.Item(i);
      outcomes.push_back({item.Handle, Known.count(item.ItemID) ? 0 : opcua::status::BadNodeIdUnknown.value, {}, 0});
    }
    return outcomes;
  }
};

struct Fixture {
  explicit Fixture(char separator = '.') : app(host, separator) {
    auto client = std::make_unique<FakeMaster>();
    master = client.get();
    app.UseMasterClient(std::move(client));
    app.Model().SingleLoop.SP = 50;
    app.Model().SingleLoop.SPNew = 50;
    app.Model().SingleLoop.CVLow = -100;
    app.Model().SingleLoop.CVHigh = 500;
    app.Panel().SingleSPNew.Text = "50.000";
  }
  MasterLink& Link() { return app.Master(); }
  void SetUp() {
    app.OPCServerToolButtonClick();
    app.DeliverMasterLinkEvents();
  }

  test::FakeAppHost host;
  Application app;
  FakeMaster* master = nullptr;
};

const std::string kTagMissingBox = "box Quorvanex OPC Server: Could not find OP Tag of QxOPCMaster";
const std::string kProgramErrorBox = "box Quorvanex OPC Server: QxOPCMaster Program Error";

TEST(MasterLink, SetUpSubscribesToTheMastersOutputAndConnects) {
  Fixture f;
  f.master->SetComputerName("elsewhere");
  f.SetUp();
  ASSERT_EQ(f.master->GroupCount(), 1u);
  OPCClientGroup& group = f.master->Group(0);
  EXPECT_EQ(group.Name(), "Brelvine Slave");
  EXPECT_EQ(group.UpdateRate(), 100);
  ASSERT_EQ(group.ItemCount(), 1u);
  EXPECT_EQ(group.Item(0).ItemID, "QX_S.OP");
  EXPECT_TRUE(group.Item(0).Registered);
  EXPECT_EQ(f.master->ComputerName(), "");
  EXPECT_TRUE(f.master->Active());
  EXPECT_EQ(f.Link().SetUpResult(), 0);
  EXPECT_EQ(f.host.Log, std::vector<std::string>{"master connected"});
}

TEST(MasterLink, SettingUpAgainLeavesExactlyOneItemInTheFirstGroup) {
  Fixture f;
  f.SetUp();
  f.SetUp();
  ASSERT_EQ(f.master->GroupCount(), 1u);
  ASSERT_EQ(f.master->Group(0).ItemCount(), 1u);
  EXPECT_EQ(f.master->Group(0).Item(0).ItemID, "QX_S.OP");
  EXPECT_EQ(f.master->Connects, 1) << "the second set-up finds the link active";
  EXPECT_EQ(f.Link().SetUpResult(), 0);
}

TEST(MasterLink, AMasterWithoutTheItemGivesTheMissingTagMessage) {
  Fixture f;
  f.master->Known.clear();
  f.SetUp();
  EXPECT_EQ(f.Link().SetUpResult(), 1);
  EXPECT_EQ(f.host.Log, (std::vector<std::string>{"master connected", kTagMissingBox}));
  EXPECT_NE(f.master->Group(0).Item(0).LastError, 0u);
}

TEST(MasterLink, AMasterThatIsNotRunningShowsNothingAndLeavesTheButton) {
  Fixture f;
  f.master->Reachable = false;
  f.SetUp();
  EXPECT_EQ(f.Link().SetUpResult(), 0);
  EXPECT_TRUE(f.host.Log.empty()) << f.host.Log.front();
  EXPECT_FALSE(f.master->Active());
}

TEST(MasterLink, ItemsRejectedWhileConnectedGiveTheProgramErrorOnly) {
  Fixture f;
  f.SetUp();
  f.master->Known.clear();
  f.SetUp();
  EXPECT_EQ(f.host.Log, (std::vector<std::string>{"master connected", kProgramErrorBox}));
  EXPECT_EQ(f.Link().SetUpResult(), 0) << "connecting raised nothing: it was already active";
}

TEST(MasterLink, TheConnectButtonTogglesAndReportsAFailedConnect) {
  Fixture f;
  f.app.MasterConnectToolButtonClick();
  f.app.DeliverMasterLinkEvents();
  EXPECT_TRUE(f.master->Active());
  f.app.MasterConnectToolButtonClick();
  f.app.DeliverMasterLinkEvents();
  EXPECT_FALSE(f.master->Active());
  f.master->Reachable = false;
  f.app.MasterConnectToolButtonClick();
  f.app.DeliverMasterLinkEvents();
  EXPECT_FALSE(f.master->Active());
  EXPECT_EQ(f.host.Log, (std::vector<std::string>{"master connected", "master disconnected",
                                                   "general error: Master link: connection refused"}));
}

TEST(MasterLink, ALostConnectionOnlyChangesTheLinkState) {
  Fixture f;
  f.SetUp();
  f.master->Publish("40", kQualityWordGood);
  f.master->Drop();
  f.app.DeliverMasterLinkEvents();
  EXPECT_FALSE(f.master->Active());
  EXPECT_EQ(f.app.Model().SingleLoop.SP, 40.0f) << "the set point keeps its last value";
  EXPECT_EQ(f.host.Log.back(), "master disconnected");
}

TEST(MasterLink, DataChangesSetTheSetPointAndItsEdit) {
  struct Case {
    const char* text;
    uint16_t quality;
    char separator;
    bool changes;
    float value;
    const char* shown;
  };
  const Case cases[] = {
      {"40", 192, '.', true, 40, "40.00"},
      {"45", 192, '.', true, 45, "45.00"},
      {"12.5", 192, ',', true, 12.5f, "12,50"},  // "." whatever the locale
      {" 7.25 ", 192, '.', true, 7.25f, "7.25"},
      {"-3e1", 192, '.', true, -30, "-30.00"},
      {"0.1", 192, '.', true, 0.1f, "0.10"},
      // A good value outside the CV range (-100 to 500) is clamped at once.
      {"3.4e38", 192, '.', true, 500, "500.00"},
      {"-3.4e38", 192, '.', true, -100, "-100.00"},
      {"9223372036854775807", 192, '.', true, 500, "500.00"},  // Int64's largest
      {"4294967295", 192, '.', true, 500, "500.00"},           // UInt32's largest
      {"500.5", 192, '.', true, 500, "500.00"},
      {"-100", 192, '.', true, -100, "-100.00"},
      {"40", 216, '.', true, 1e7f, "10000000.00"},  // good, local override
      {"40", 64, '.', true, 1e7f, "10000000.00"},   // uncertain
      {"40", 0, '.', true, 1e7f, "10000000.00"},    // bad
      {"abc", 0, ',', true, 1e7f, "10000000,00"},   // bad: the text is not read
      // A good text that is not a finite number leaves everything alone.
      {"12,5", 192, ',', false, 50, "50.000"},
      {"abc", 192, '.', false, 50, "50.000"},
      {"45abc", 192, '.', false, 50, "50.000"},
      {"", 192, '.', false, 50, "50.000"},
      {"nan", 192, '.', false, 50, "50.000"},
      {"inf", 192, '.', false, 50, "50.000"},
      {"1e999", 192, '.', false, 50, "50.000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\" quality " + std::to_string(c.quality));
    Fixture f(c.separator);
    f.SetUp();
    f.host.Log.clear();
    f.master->Publish(c.text, c.quality);
    f.app.DeliverMasterLinkEvents();
    const PIDLoop& single = f.app.Model().SingleLoop;
    EXPECT_EQ(single.SP, c.value);
    EXPECT_EQ(single.SPNew, c.value);
    EXPECT_EQ(f.app.Panel().SingleSPNew.Text, c.shown);
    EXPECT_EQ(f.host.Log, c.changes ? std::vector<std::string>{"messages"} : std::vector<std::string>{})
        << "pending messages run after a stored value";
  }
}

// The handler processes pending messages, and with them a newer delivery:
// the values still reach the set point in the order the master sent them,
// and the last one stays.
TEST(MasterLink, ValuesDeliveredWhileAValueIsHandledKeepTheirOrder) {
  Fixture f;
  f.SetUp();
  std::vector<float> applied;
  bool newerSent = false;
  f.host.OnPendingMessages = [&] {
    applied.push_back(f.app.Model().SingleLoop.SP);
    if (!newerSent) {
      newerSent = true;
      f.master->Publish("50", kQualityWordGood);
    }
    f.app.DeliverMasterLinkEvents();  // nested, as the window's message loop would
  };
  f.master->Publish("40", kQualityWordGood);
  f.master->Publish("45", kQualityWordGood);
  f.app.DeliverMasterLinkEvents();
  f.app.DeliverMasterLinkEvents();  // what came during the first delivery
  EXPECT_EQ(applied, (std::vector<float>{40, 45, 50}));
  EXPECT_EQ(f.app.Model().SingleLoop.SP, 50.0f);
  EXPECT_EQ(f.app.Model().SingleLoop.SPNew, 50.0f);
  EXPECT_EQ(f.app.Panel().SingleSPNew.Text, "50.00");
}

// Before a case gives the loop a CV range there is nothing to clamp into:
// the master's value stands as it came, until a case load replaces it.
TEST(MasterLink, WithoutACVRangeAGoodValueStandsAsSent) {
  Fixture f;
  f.app.Model().SingleLoop.CVLow = 0;
  f.app.Model().SingleLoop.CVHigh = 0;
  f.SetUp();
  f.master->Publish("45.5", kQualityWordGood);
  f.app.DeliverMasterLinkEvents();
  EXPECT_EQ(f.app.Model().SingleLoop.SP, 45.5f);
  EXPECT_EQ(f.app.Model().SingleLoop.SPNew, 45.5f);
}

TEST(MasterLink, TheShownSetPointReadsBackUnderTheUsersSeparator) {
  for (char separator : {'.', ','}) {
    Fixture f(separator);
    f.SetUp();
    f.master->Publish("12.5", kQualityWordGood);
    f.app.DeliverMasterLinkEvents();
    ReadTuningInputs(f.app.Model(), f.app.Panel());
    EXPECT_EQ(f.app.Model().SingleLoop.SPNew, 12.5f) << "separator '" << separator << "'";
  }
}

TEST(MasterLink, TheHandlerTakesTheFirstItemWhateverTheEventNames) {
  Fixture f;
  f.SetUp();
  OPCClientGroup& other = f.master->AddGroup("other");
  other.AddItem("QX_S.PV");
  f.master->Publish("30", kQualityWordGood);
  f.app.DeliverMasterLinkEvents();
  f.Link().dOPCServerInDatachange();  // as for a change of the other group
  EXPECT_EQ(f.app.Model().SingleLoop.SP, 30.0f);
}

TEST(MasterLink, CascadeModeMakesTheModeItemReadThree) {
  test::FakeAppHost host;
  Application app(host, '.');
  test::StoppingRunHost run(app);
  const std::string endpoint = test::ServeOnFreePort(app);
  ASSERT_FALSE(endpoint.empty());
  auto modeText = [&] {
    const auto texts = app.Server()->ItemValueTexts(PanelSnapshot{app.Panel().CascadeModeCheckBox, ""});
    return texts[3];
  };
  app.Model().RunControl.SingleModeCode = 1;
  app.Model().RunControl.SingleAutoState = 0;
  EXPECT_EQ(modeText(), "1");
  PerformPanelAction(app, run, {PanelAction::Kind::Cascade, "", ""});
  EXPECT_EQ(modeText(), "3");
  EXPECT_EQ(app.Model().RunControl.SingleAutoState, 1) << "checking puts the loop into Auto";
  PerformPanelAction(app, run, {PanelAction::Kind::Cascade, "", ""});
  EXPECT_EQ(modeText(), "2") << "unchecked: the mode code again";
}

}  // namespace
}  // namespace qx
