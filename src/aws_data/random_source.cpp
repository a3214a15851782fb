#include "aws_data/random_source.hpp"

namespace vorn::aws {

namespace {

// splitmix64 (Steele, Lea and Flood): spreads any seed, 0 included, over
// the whole state, which xoshiro must not start all zero.
std::uint64_t splitmix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

RandomSource::RandomSource(std::uint64_t seed) {
  for (std::uint64_t& word : state_) word = splitmix64(seed);
}

// xoshiro256**, as published by its authors.
std::uint64_t RandomSource::next_u64() {
  const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = rotl(state_[3], 45);
  return result;
}

double RandomSource::uniform01() {
  return static_cast<double>(next_u64() >> 11) * 0x1.0p-53;
}

std::string random_uuid(RandomSource& random) {
  const std::uint64_t high = random.next_u64();
  const std::uint64_t low = random.next_u64();
  unsigned char bytes[16];
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<unsigned char>(high >> (56 - 8 * i));
    bytes[8 + i] = static_cast<unsigned char>(low >> (56 - 8 * i));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace vorn::aws
