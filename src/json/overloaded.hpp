// Overloaded{lambdas...}: one visitor for std::visit built from lambdas.
#pragma once

namespace vorn {

template <class... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};

}  // namespace vorn
