#include "opc/LoopObject.h"
namespace qx {
bool LoopObject::CreateMethods(opcua::Server&, uint16_t, std::string&) { return true; }
}
