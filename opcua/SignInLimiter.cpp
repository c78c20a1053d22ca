#include "opcua/SignInLimiter.h"

#include <algorithm>

namespace opcua {

bool SignInLimiter::Locked(const Records& records, std::string_view key, int64_t nowMs) const {
  auto it = records.find(key.substr(0, kMaxNameBytes));
  return it != records.end() && nowMs < it->second.lockedUntilMs;
}

bool SignInLimiter::Allowed(std::string_view user, std::string_view peer, int64_t nowMs) const {
  return !Locked(users_, user, nowMs) && !Locked(peers_, peer, nowMs);
}

void SignInLimiter::Count(Records& records, std::string_view key, int64_t nowMs) {
  key = key.substr(0, kMaxNameBytes);
  auto it = records.find(key);
  if (it == records.end()) {
    if (records.size() >= limits_.maxRecords) {
      std::erase_if(records, [&](const auto& entry) {
        return nowMs - entry.second.lastFailureMs > limits_.memoryMs;
      });
    }
    if (records.size() >= limits_.maxRecords) {
      records.erase(std::min_element(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.second.lastFailureMs < b.second.lastFailureMs;
      }));
    }
    it = records.emplace(std::string(key), Record{}).first;
  }
  Record& r = it->second;
  if (nowMs - r.lastFailureMs > limits_.memoryMs) r = Record{};
  ++r.failures;
  r.lastFailureMs = nowMs;
  if (r.failures <= limits_.freeFailures) return;
  // The lock doubles with each failure beyond the free ones, up to the most.
  int64_t lock = limits_.firstLockMs;
  for (uint32_t n = limits_.freeFailures + 1; n < r.failures && lock < limits_.maxLockMs; ++n) lock *= 2;
  r.lockedUntilMs = nowMs + std::min(lock, limits_.maxLockMs);
}

void SignInLimiter::Failed(std::string_view user, std::string_view peer, int64_t nowMs) {
  Count(users_, user, nowMs);
  Count(peers_, peer, nowMs);
}

void SignInLimiter::Succeeded(std::string_view user) {
  if (auto it = users_.find(user.substr(0, kMaxNameBytes)); it != users_.end()) users_.erase(it);
}

}  // namespace opcua
