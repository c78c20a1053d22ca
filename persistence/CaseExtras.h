// Values that only case files carry. Nothing in the application gives them a
// meaning: reading a case fills them and saving writes them back unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace qx {

struct CaseExtras {
  std::string FileName1;  // line 160
  std::string FileName2;  // line 163
  int32_t Int1 = 0, Int2 = 0;           // lines 32, 33
  int32_t Int3 = 0, Int4 = 0, Int5 = 0; // lines 150 to 152
  int32_t Int6 = 0;                     // line 165
  float Real1 = 0, Real2 = 0;           // lines 168, 169
  float Real3 = 0, Real4 = 0;           // lines 172, 173
};

}  // namespace qx
