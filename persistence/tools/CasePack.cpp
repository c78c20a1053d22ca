// Build-time tool: packs a case listing (see CaseListing.h) into a case file.
// Usage: qx_casepack LISTING OUT.pid
// Reals in the listing use "." as decimal separator, whatever the locale of
// the build machine, so that the build does not depend on it.
#include <fstream>
#include <iostream>
#include <sstream>

#include "persistence/CaseListing.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qx_casepack LISTING OUT.pid\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "qx_casepack: cannot read '" << argv[1] << "'\n";
    return 1;
  }
  std::ostringstream listing;
  listing << in.rdbuf();
  std::string error;
  if (!qx::PackCaseListing(listing.str(), argv[2], '.', error)) {
    std::cerr << "qx_casepack: " << argv[1] << ": " << error << '\n';
    return 1;
  }
  return 0;
}
