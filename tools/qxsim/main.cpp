// qxsim: the simulator without a window, for scripts, tests and batches.
// The usage text lists what the manual page qxsim(1) describes in full.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/AppHost.h"
#include "tools/qxsim/CaseCommand.h"
#include "tools/qxsim/IdentifyCommand.h"
#include "tools/qxsim/RegisterCommand.h"
#include "tools/qxsim/RunCommand.h"
#include "tools/qxsim/RunOptions.h"
#include "tools/qxsim/SweepCommand.h"
#include "tools/qxsim/UserCommand.h"

namespace {

constexpr const char* kUsage =
    "usage: qxsim run [CASE.pid] [--set Record.Field=VALUE]... [--steps N]\n"
    "                 [--at N:ACTION]... [--trace FILE|-] [--dump-model FILE]\n"
    "                 [--dump-panel FILE] [--save-case FILE] [--seed S]\n"
    "                 [--serve [ENDPOINT]] [--serve-after SECONDS] [--metrics FILE|-]\n"
    "                 [--master [ENDPOINT]] [--history VALUES] [--alarms FILE|-]\n"
    "       qxsim sweep [CASE.pid] --grid NAME=LO:HI:N... [--set ...] [--steps N] [--at N:ACTION]...\n"
    "                   [--seed S] [--jobs J] [--shard K/N] [--out FILE.csv] [--map FILE.png]\n"
    "                   [--map-index NAME]\n"
    "       qxsim sweep --merge FILES... [--out FILE.csv] [--map FILE.png] [--map-index NAME]\n"
    "       qxsim identify TRACE.csv [CASE.pid] [--from STEP] [--to STEP] [--equation N]\n"
    "       qxsim case dump CASE.pid\n"
    "       qxsim case pack LISTING OUT.pid\n"
    "       qxsim register [ENDPOINT] | qxsim unregister\n"
    "       qxsim user add NAME | qxsim user remove NAME\n"
    "       qxsim --help | qxsim --version\n"
    "See qxsim(1).\n";

int Dispatch(std::vector<std::string> args) {
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (args[0] == "--version") {
    std::cout << "qxsim " << QX_VERSION << '\n';
    return 0;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "run") {
    qx::RunOptions options;
    std::string error;
    if (!qx::ParseRunOptions(args, options, error)) {
      std::cerr << "qxsim run: " << error << '\n';
      return 2;
    }
    return qx::RunCommand(options);
  }
  if (command == "sweep") {
    qx::SweepOptions options;
    std::string error;
    if (!qx::ParseSweepOptions(args, options, error)) {
      std::cerr << "qxsim sweep: " << error << '\n';
      return 2;
    }
    return qx::SweepCommand(options);
  }
  if (command == "identify") {
    qx::IdentifyOptions options;
    std::string error;
    if (!qx::ParseIdentifyOptions(args, options, error)) {
      std::cerr << "qxsim identify: " << error << '\n';
      return 2;
    }
    return qx::IdentifyCommand(options);
  }
  if (command == "case") return qx::CaseCommand(args);
  if (command == "register" || command == "unregister") return qx::RegisterCommand(command, args);
  if (command == "user") return qx::UserCommand(args);
  std::cerr << "qxsim: unknown command '" << command << "'\n" << kUsage;
  return 2;
}

}  // namespace

// What no command caught ends the program with its reason and a failure
// code, not with std::terminate.
int main(int argc, char** argv) {
  try {
    return Dispatch(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "qxsim: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "qxsim: an unknown error\n";
  }
  return qx::kFatalExitCode;
}
