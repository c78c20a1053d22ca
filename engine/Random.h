// The pseudo-random source of the disturbance and measurement noise.
#pragma once

#include <cstdint>

namespace qx {

// xorshift64*: fast, uniform enough for noise, and reproducible from a seed,
// so batch runs and tests can repeat a noise sequence exactly.
class RandomSource {
 public:
  static constexpr uint64_t kDefaultSeed = 0x9E3779B97F4A7C15ull;

  void Seed(uint64_t seed) { state_ = seed != 0 ? seed : kDefaultSeed; }

  // A uniform integer 0 .. n-1 (n > 0).
  int RandomInt(int n) {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    uint64_t value = state_ * 0x2545F4914F6CDD1Dull;
    return static_cast<int>((value >> 32) % static_cast<uint64_t>(n));
  }

 private:
  uint64_t state_ = kDefaultSeed;
};

}  // namespace qx
