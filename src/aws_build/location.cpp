#include "aws_build/location.hpp"

#include <vector>

namespace vorn::aws {

std::string Location::render() const {
  std::vector<const Location*> chain;
  for (const Location* at = this; at->parent_ != nullptr; at = at->parent_) chain.push_back(at);
  if (chain.empty()) return "/";
  std::string text;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const Location& step = **it;
    if (step.index_ == kNoIndex) {
      text += '/';
      text += step.key_;
    } else {
      text += '[';
      text += std::to_string(step.index_);
      text += ']';
    }
  }
  return text;
}

SourcePath Location::steps() const {
  SourcePath path;
  for (const Location* at = this; at->parent_ != nullptr; at = at->parent_) {
    path.push_back(at->index_ == kNoIndex ? SourceStep::member(at->key_)
                                          : SourceStep::element(at->index_));
  }
  return {path.rbegin(), path.rend()};
}

}  // namespace vorn::aws
