#include "opcua/EndpointUrl.h"

#include <cstdlib>

namespace opcua {

bool ParseEndpointUrl(const std::string& url, std::string& host, uint16_t& port,
                      std::string& error) {
  const std::string scheme = "opc.tcp://";
  if (url.rfind(scheme, 0) != 0) {
    error = "endpoint URL '" + url + "' does not start with opc.tcp://";
    return false;
  }
  std::string rest = url.substr(scheme.size());
  rest = rest.substr(0, rest.find('/'));
  size_t colon = rest.rfind(':');
  std::string portText = colon == std::string::npos ? "4840" : rest.substr(colon + 1);
  host = colon == std::string::npos ? rest : rest.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  char* end = nullptr;
  long value = std::strtol(portText.c_str(), &end, 10);
  if (host.empty() || portText.empty() || *end != '\0' || value < 0 || value > 65535) {
    error = "endpoint URL '" + url + "' has no valid host and port";
    return false;
  }
  port = static_cast<uint16_t>(value);
  return true;
}

std::string EndpointUrlWithPort(const std::string& url, uint16_t port) {
  const std::string scheme = "opc.tcp://";
  if (url.rfind(scheme, 0) != 0) return url;
  size_t authorityEnd = url.find('/', scheme.size());
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  size_t colon = url.rfind(':', authorityEnd);
  size_t bracket = url.rfind(']', authorityEnd);
  if (colon == std::string::npos || colon < scheme.size() ||
      (bracket != std::string::npos && bracket > colon))
    return url;
  return url.substr(0, colon + 1) + std::to_string(port) + url.substr(authorityEnd);
}

}  // namespace opcua
