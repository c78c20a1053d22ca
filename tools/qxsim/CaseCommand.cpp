#include "tools/qxsim/CaseCommand.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "app/DecimalSeparator.h"
#include "persistence/CaseListing.h"

namespace qx {

int CaseCommand(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[0] == "dump") {
    std::string listing, error;
    if (!DumpCaseListing(args[1], listing, error)) {
      std::cerr << error << '\n';
      return 1;
    }
    std::cout << listing;
    return std::cout.flush() ? 0 : 1;
  }
  if (args.size() == 3 && args[0] == "pack") {
    std::ifstream in(args[1], std::ios::binary);
    if (!in) {
      std::cerr << "qxsim: cannot read the listing '" << args[1] << "'\n";
      return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    if (!PackCaseListing(text.str(), args[2], DecimalSeparatorFromEnvironment(), error)) {
      std::cerr << args[1] << ": " << error << '\n';
      return 1;
    }
    return 0;
  }
  std::cerr << "usage: qxsim case dump CASE.pid | qxsim case pack LISTING OUT.pid\n";
  return 2;
}

}  // namespace qx
