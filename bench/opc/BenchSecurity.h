// The channel security of an OPC benchmark run: none (the default), or
// Basic256Sha256 with SignAndEncrypt for every client, with the fixed test
// identities of tests/opcua/data on both sides.
#pragma once

#include "opcua/Client.h"
#include "opcua/ServerConfig.h"

namespace qx::bench {

// Set once, before the server and the clients are made.
void UseSecuredChannels(bool secured);
bool SecuredChannels();
// "None" or "Basic256Sha256 SignAndEncrypt", for the report.
const char* ChannelSecurityName();

// What the benchmark's server offers: None alone, or None (for discovery)
// and Basic256Sha256 SignAndEncrypt, trusting the test client.
opcua::ServerSecurity BenchServerSecurity();
// Gives `client` the test client's identity and the benchmark's channel
// security; nothing under None.
void SecureClient(opcua::Client& client);

}  // namespace qx::bench
