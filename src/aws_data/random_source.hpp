// RandomSource: everything random in an execution (retry jitter, request
// ids, the States.UUID and States.MathRandom intrinsics) draws from one of these,
// so the same input and seed always give the same run.
//
// The generator is xoshiro256** (Blackman and Vigna), its state filled from
// the seed by splitmix64 as its authors recommend. It is a plain value:
// copying it copies the state, and the copy replays the same draws.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vorn::aws {

class RandomSource {
 public:
  explicit RandomSource(std::uint64_t seed = 0);

  std::uint64_t next_u64();
  // Uniform in [0, 1), with 53 random bits (every double that step apart).
  double uniform01();

  friend bool operator==(const RandomSource&, const RandomSource&) = default;

 private:
  std::array<std::uint64_t, 4> state_;
};

// A version 4 UUID in its lower-case 8-4-4-4-12 text form, drawn from
// `random` (two draws).
std::string random_uuid(RandomSource& random);

}  // namespace vorn::aws
