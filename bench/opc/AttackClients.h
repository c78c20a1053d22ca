// The clients of the attack benchmark, each on loopback and bounded by a
// deadline: a subscriber that records when notifications arrive, and the
// attackers (secured OPNs of 64 KiB from untrusted certificates, password
// guessers, clients that leave a subscribed session behind).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "opcua/Client.h"

namespace qx::bench {

using Clock = std::chrono::steady_clock;

// Subscribes to one variable and keeps a Publish request waiting; records
// the arrival time of every data change.
class GapRecorder {
 public:
  ~GapRecorder() { Stop(); }
  bool Start(const std::string& endpoint, const opcua::NodeId& node, std::string& error);
  void Stop();
  // The longest time between two data changes that arrived within [from, to]
  // (the first one after `from` counts from `from`), in milliseconds.
  double LargestGapMs(Clock::time_point from, Clock::time_point to) const;

 private:
  void Receive();
  opcua::Client client_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  mutable std::mutex mutex_;
  std::vector<Clock::time_point> arrivals_;
};

// A Basic256Sha256 OPN that fills a 64 KiB chunk with RSA-OAEP blocks made
// for the server's certificate, under a self-made certificate the server
// does not trust and with a signature that is garbage. Made once, before an
// attack: making the key is slow.
std::string HostileOpen(const std::string& serverCertificateDer);

// Opens connections one after the other until `until` and sends each HEL
// and `open`. Returns the OPNs sent.
long FloodOpens(uint16_t port, const std::string& open, Clock::time_point until);

// Signs in as `user` with wrong passwords until `until`; returns the
// sign-ins the server answered.
long GuessPasswords(const std::string& endpoint, const std::string& user, Clock::time_point until);

// Creates and activates a session, subscribes to `node` with a monitored
// item, sends one Publish and drops the connection without closing the
// session. False with the reason when the server refused a step.
bool AbandonSubscribedSession(uint16_t port, const opcua::NodeId& node, std::string& error);

}  // namespace qx::bench
