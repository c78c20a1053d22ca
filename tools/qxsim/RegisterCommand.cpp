#include "tools/qxsim/RegisterCommand.h"

#include <iostream>

#include "opc/OPCServer.h"

namespace qx {

int RegisterCommand(const std::string& command, const std::vector<std::string>& args) {
  std::string error;
  if (command == "register" && args.size() <= 1) {
    const std::string endpoint = args.empty() ? DefaultEndpointUrl() : args[0];
    if (!GBDataAccess::GBRegisterServer(SimulationServerIdentity(endpoint), error)) {
      std::cerr << "qxsim: " << error << '\n';
      return 1;
    }
    std::cout << "registered in " << RegistrationFolder() << '\n';
    return 0;
  }
  if (command == "unregister" && args.empty()) {
    if (!GBDataAccess::GBUnregisterServer(SimulationServerIdentity("").Clsid, error)) {
      std::cerr << "qxsim: " << error << '\n';
      return 1;
    }
    return 0;
  }
  std::cerr << "usage: qxsim register [ENDPOINT] | qxsim unregister\n";
  return 2;
}

}  // namespace qx
