#include "aws_data/source_positions.hpp"

#include <rapidjson/reader.h>

#include <algorithm>
#include <deque>
#include <string>
#include <unordered_map>

#include "json/bounded_stream.hpp"

namespace vorn::aws {

namespace {

// The paths merged into a tree, so the reader asks one question per value:
// is this value on some path?
struct TrieNode {
  std::unordered_map<std::string_view, TrieNode*> members;
  std::unordered_map<std::size_t, TrieNode*> elements;
  std::size_t offset = 0;
  bool found = false;

  TrieNode* child(std::string_view key) const {
    if (members.empty()) return nullptr;
    const auto it = members.find(key);
    return it == members.end() ? nullptr : it->second;
  }
  TrieNode* child(std::size_t index) const {
    if (elements.empty()) return nullptr;
    const auto it = elements.find(index);
    return it == elements.end() ? nullptr : it->second;
  }
};

class Trie {
 public:
  TrieNode* root() { return &nodes_.front(); }
  TrieNode* add(const SourcePath& path) {
    TrieNode* at = root();
    for (const SourceStep& step : path) {
      TrieNode* next = step.is_index ? at->child(step.index) : at->child(step.key);
      if (next == nullptr) {
        nodes_.emplace_back();
        next = &nodes_.back();
        if (step.is_index) {
          at->elements.emplace(step.index, next);
        } else {
          at->members.emplace(step.key, next);
        }
      }
      at = next;
    }
    return at;
  }

 private:
  std::deque<TrieNode> nodes_ = std::deque<TrieNode>(1);
};

// Follows the reader through the text, marking each trie node it passes
// with the offset where that value starts. Values off every path cost a
// pointer test.
class Finder {
 public:
  Finder(TrieNode* root, const json::BoundedStream& stream, std::string_view text)
      : root_(root), stream_(stream), text_(text) {}

  bool Null() { return scalar(); }
  bool Bool(bool) { return scalar(); }
  bool Int(int) { return scalar(); }
  bool Uint(unsigned) { return scalar(); }
  bool Int64(std::int64_t) { return scalar(); }
  bool Uint64(std::uint64_t) { return scalar(); }
  bool Double(double) { return scalar(); }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return scalar(); }
  bool String(const char*, rapidjson::SizeType, bool) { return scalar(); }
  bool Key(const char* s, rapidjson::SizeType length, bool) {
    Open& open = open_.back();
    open.pending = open.node == nullptr ? nullptr : open.node->child(std::string_view(s, length));
    mark_ = stream_.Tell();
    return true;
  }
  bool StartObject() { return enter(); }
  bool StartArray() { return enter(); }
  bool EndObject(rapidjson::SizeType) { return leave(); }
  bool EndArray(rapidjson::SizeType) { return leave(); }

 private:
  struct Open {
    TrieNode* node;     // this container's node, or null when off every path
    TrieNode* pending;  // the next value's node (object: set by its key)
    std::size_t next_index = 0;
    bool is_array;
  };

  // The value that is about to start: its node, found from the container.
  TrieNode* incoming() {
    if (open_.empty()) return started_root_ ? nullptr : root_;
    Open& open = open_.back();
    if (!open.is_array) return open.pending;
    const std::size_t index = open.next_index++;
    return open.node == nullptr ? nullptr : open.node->child(index);
  }
  // Between the end of the last event and the next value lie only blanks,
  // ':', ',' and closing brackets (which the reader may not have taken yet
  // when it reported the container's end); no value starts with any of them.
  std::size_t value_start() const {
    std::size_t at = mark_;
    while (at < text_.size()) {
      const char c = text_[at];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != ':' && c != ',' && c != '}' &&
          c != ']') {
        break;
      }
      ++at;
    }
    return at;
  }
  void record(TrieNode* node, std::size_t start) {
    if (node != nullptr) {
      node->offset = start;
      node->found = true;
    }
  }
  bool scalar() {
    const bool is_root = open_.empty();
    TrieNode* node = incoming();
    if (is_root) started_root_ = true;
    if (node != nullptr) record(node, value_start());
    mark_ = stream_.Tell();
    return true;
  }
  bool enter() {
    const bool is_root = open_.empty();
    TrieNode* node = incoming();
    if (is_root) started_root_ = true;
    const std::size_t start = value_start();  // the bracket
    record(node, start);
    const bool is_array = start < text_.size() && text_[start] == '[';
    open_.push_back(Open{node, nullptr, 0, is_array});
    mark_ = start + 1;
    return true;
  }
  bool leave() {
    open_.pop_back();
    mark_ = stream_.Tell();
    return true;
  }

  TrieNode* root_;
  const json::BoundedStream& stream_;
  std::string_view text_;
  std::vector<Open> open_;
  std::size_t mark_ = 0;
  bool started_root_ = false;
};

// The deepest found node along `path`.
const TrieNode* deepest_found(TrieNode* root, const SourcePath& path) {
  const TrieNode* best = root->found ? root : nullptr;
  const TrieNode* at = root;
  for (const SourceStep& step : path) {
    if (best != at) break;
    at = step.is_index ? at->child(step.index) : at->child(step.key);
    if (at == nullptr || !at->found) break;
    best = at;
  }
  return best;
}

}  // namespace

std::vector<SourcePosition> find_source_positions(std::string_view text,
                                                  std::span<const SourcePath> paths) {
  Trie trie;
  for (const SourcePath& path : paths) trie.add(path);

  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag |
                              rapidjson::kParseNumbersAsStringsFlag |
                              rapidjson::kParseStopWhenDoneFlag;
  json::BoundedStream stream(text);
  Finder finder(trie.root(), stream, text);
  rapidjson::Reader reader;
  (void)reader.Parse<kFlags>(stream, finder);

  // Offsets to lines and columns in one more pass, in offset order.
  std::vector<std::pair<std::size_t, std::size_t>> wanted;  // offset, path index
  std::vector<SourcePosition> positions(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const TrieNode* node = deepest_found(trie.root(), paths[i]);
    if (node != nullptr) wanted.emplace_back(node->offset, i);
  }
  std::sort(wanted.begin(), wanted.end());
  std::size_t line = 1, column = 1, at = 0;
  for (const auto& [offset, index] : wanted) {
    for (; at < offset && at < text.size(); ++at) {
      const auto c = static_cast<unsigned char>(text[at]);
      if (c == '\n') {
        ++line;
        column = 1;
      } else if ((c & 0xC0) != 0x80) {  // continuation bytes belong to the character
        ++column;
      }
    }
    positions[index] = SourcePosition{line, column, offset};
  }
  return positions;
}

}  // namespace vorn::aws
