// "qxsim case dump" and "qxsim case pack": a case file as a readable
// listing, and back.
#pragma once

#include <string>
#include <vector>

namespace qx {

// The arguments after "case". Exit status 0, 1 on a file problem, 2 on a
// usage error.
int CaseCommand(const std::vector<std::string>& args);

}  // namespace qx
