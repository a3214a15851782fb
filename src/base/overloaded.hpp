// Overloaded{lambdas...}: one visitor for std::visit built from lambdas.
#pragma once

namespace vorn {

template <class... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};

// Needed by compilers without deduction for aggregates (clang before 17).
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace vorn
