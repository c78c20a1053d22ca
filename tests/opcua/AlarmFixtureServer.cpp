// An OPC UA server with one level alarm, for the peer tests of events and
// conditions: an object ns=1;s=Loop with the condition ns=1;s=Loop.LevelAlarm
// (ExclusiveLevelAlarmType, input ns=1;s=Loop.PV). The program stands for
// the application: it owns the alarm's state, takes a client's
// acknowledgment or confirmation into it, and sets it back on the server.
// Usage: opcua_alarm_fixture_server ENDPOINT
//
// Prints "ready" once clients may connect, then obeys one command per line
// of standard input and answers each with one line:
//   high     the alarm goes active on its high limit, unacknowledged ("high")
//   normal   the alarm goes back to normal ("normal")
//   state    "active A acked K confirmed C comment <text>"
//   quit     ends the program ("bye"); so does the end of the input
#include <exception>
#include <iostream>
#include <mutex>
#include <string>

#include "opcua/EventNodeIds.h"
#include "opcua/NodeIds.h"
#include "opcua/Server.h"

namespace {

using namespace opcua;

class AlarmApplication {
 public:
  explicit AlarmApplication(Server& server) : server_(server) {}

  bool Build(std::string& error) {
    uint16_t ns = server_.RegisterNamespace("urn:qx:test:alarms");
    NodeId loop(ns, "Loop");
    uint32_t pv = 0;
    ConditionDefinition definition{NodeId(ns, "Loop.LevelAlarm"), NodeId(0, ids::ExclusiveLevelAlarmType), loop,
                       "LevelAlarm", NodeId(ns, "Loop.PV"), {}, {}};
    if (!server_.AddFolder(NodeId(0, ids::ObjectsFolder), loop, "Loop", error) ||
        !server_.AddVariable(loop, NodeId(ns, "Loop.PV"), "PV", 50.0, false, pv, error) ||
        !server_.AddCondition(definition, alarm_, error))
      return false;
    server_.SetConditionResponseCallback(
        [this](uint32_t, ConditionResponse response, const LocalizedText& comment,
               const std::string&) {
          std::lock_guard lock(mutex_);
          (response == ConditionResponse::Acknowledge ? state_.acked : state_.confirmed) = true;
          comment_ = comment.text;
          return status::Good;
        });
    return true;
  }

  void High() {
    std::lock_guard lock(mutex_);
    state_.active = true;
    state_.limit = LimitState::High;
    state_.limits.high = 80;
    state_.severity = 700;
    state_.message = {"en", "PV high: 82.5 > 80"};
    state_.acked = state_.confirmed = false;
    state_.time = DateTime::Now();
    server_.SetConditionState(alarm_, state_);
  }

  void Normal() {
    std::lock_guard lock(mutex_);
    state_.active = false;
    state_.limit = LimitState::None;
    state_.message = {"en", "PV back in its limits"};
    state_.time = DateTime::Now();
    server_.SetConditionState(alarm_, state_);
  }

  std::string State() {
    std::lock_guard lock(mutex_);
    return std::string("active ") + (state_.active ? "1" : "0") + " acked " +
           (state_.acked ? "1" : "0") + " confirmed " + (state_.confirmed ? "1" : "0") +
           " comment " + comment_;
  }

 private:
  Server& server_;
  uint32_t alarm_ = 0;
  std::mutex mutex_;
  ConditionState state_;
  std::string comment_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: opcua_alarm_fixture_server ENDPOINT\n";
    return 64;
  }
  try {
    ServerConfig config;
    config.endpointUrl = argv[1];
    Server server(config);
    AlarmApplication app(server);
    std::string error;
    if (!app.Build(error) || !server.Start(error)) {
      std::cerr << "opcua_alarm_fixture_server: " << error << '\n';
      return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line == "high") {
        app.High();
        std::cout << "high" << std::endl;
      } else if (line == "normal") {
        app.Normal();
        std::cout << "normal" << std::endl;
      } else if (line == "state") {
        std::cout << app.State() << std::endl;
      } else if (line == "quit") {
        break;
      } else {
        std::cout << "unknown command '" << line << "'" << std::endl;
      }
    }
    std::cout << "bye" << std::endl;
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "opcua_alarm_fixture_server: " << e.what() << '\n';
    return 1;
  }
}
