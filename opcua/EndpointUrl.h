#pragma once
// Endpoint URLs of the UA TCP transport: "opc.tcp://host:port[/path]".

#include <cstdint>
#include <string>

namespace opcua {

// Splits "opc.tcp://host:port[/path]" into host and port (4840 when
// absent; 0 asks the system for a free port).
bool ParseEndpointUrl(const std::string& url, std::string& host, uint16_t& port,
                      std::string& error);
// `url` with its port replaced by `port` (the port a server bound when it
// was asked for port 0); `url` itself when it has no port to replace.
std::string EndpointUrlWithPort(const std::string& url, uint16_t port);

}  // namespace opcua
