// A COPCServer on a loop model of its own, for the peer tests of what
// qxsim has no command for (revoking the class object, reading the
// connection counters). Usage: opc_fixture_server ENDPOINT
//
// Prints "ready" once clients may connect, then obeys one command per line
// of standard input and answers each with one line:
//   publish  publishes the items ("published")
//   revoke   refuses new sessions from here on ("revoked")
//   counts   "sessions N locks M": ServerObjectCount and ServerLockCount
//   quit     ends the program ("bye"); so does the end of the input
#include <iostream>
#include <string>

#include "engine/LoopModel.h"
#include "opc/OPCServer.h"

namespace {

// A single loop in Auto with round values, so published texts are easy to
// recognise.
void LoadFixtureLoop(qx::LoopModel& m) {
  qx::PIDLoop& s = m.SingleLoop;
  s.P = 1.5f;
  s.I = 12;
  s.CVLow = 0;
  s.CVHigh = 100;
  s.MVHigh = 100;
  s.SP = 40;
  s.PV = 39;
  s.OP = 55;
  m.RunControl.SingleConfiguration = true;
  m.RunControl.SingleAutoState = 1;
  m.RunControl.SingleModeCode = 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: opc_fixture_server ENDPOINT\n";
    return 2;
  }
  qx::LoopModel model;
  LoadFixtureLoop(model);
  qx::COPCServer server(model, '.');
  std::string error;
  if (!server.InitializeOPC(argv[1], error)) {
    std::cerr << "opc_fixture_server: " << error << '\n';
    return 1;
  }
  std::cout << "ready" << std::endl;

  int publications = 0;
  for (std::string line; std::getline(std::cin, line);) {
    if (line == "publish") {
      // Each publication moves PV, so subscribers see a change every time.
      model.SingleLoop.PV = 39 + static_cast<float>(++publications);
      server.PublishItemValues(qx::PanelSnapshot{false, "0.1"});
      std::cout << "published" << std::endl;
    } else if (line == "revoke") {
      server.GBRevokeClassObject();
      std::cout << "revoked" << std::endl;
    } else if (line == "counts") {
      std::cout << "sessions " << server.ServerObjectCount() << " locks "
                << server.ServerLockCount() << std::endl;
    } else if (line == "quit") {
      break;
    } else {
      std::cout << "unknown command '" << line << "'" << std::endl;
    }
  }
  std::cout << "bye" << std::endl;
  return 0;
}
