#include "ast.hpp"

#include <algorithm>

namespace vorn::build {

std::optional<std::size_t> AslAst::state_index(std::string_view name) const {
  auto it = std::lower_bound(
      states.begin(), states.end(), name,
      [](const NamedState& s, std::string_view n) { return key_less(s.name, n); });
  if (it == states.end() || it->name != name) return std::nullopt;
  return static_cast<std::size_t>(it - states.begin());
}

namespace {

// FNV-1a: state names are short, and any spread of them will do.
std::uint64_t name_hash(std::string_view name) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

}  // namespace

StateIndex::StateIndex(const AslAst& ast) : ast_(ast) {
  std::size_t size = 16;
  while (size < 2 * ast.states.size()) size *= 2;
  slots_.assign(size, kEmpty);
  mask_ = size - 1;
  for (std::size_t i = 0; i < ast.states.size(); ++i) {
    std::size_t slot = name_hash(ast.states[i].name) & mask_;
    while (slots_[slot] != kEmpty) slot = (slot + 1) & mask_;
    slots_[slot] = static_cast<std::uint32_t>(i);
  }
}

std::optional<std::size_t> StateIndex::find(std::string_view name) const {
  for (std::size_t slot = name_hash(name) & mask_; slots_[slot] != kEmpty;
       slot = (slot + 1) & mask_) {
    if (ast_.states[slots_[slot]].name == name) return slots_[slot];
  }
  return std::nullopt;
}

}  // namespace vorn::build
