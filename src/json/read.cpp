// The entry points over the two readers. The exact reader (reader.cpp) and
// the fast one (document.cpp) know nothing of each other; only here is a
// text the fast one refuses handed to the exact one.
#include <optional>
#include <utility>

#include "document.hpp"
#include "reader.hpp"

namespace vorn::json {

// Most texts are read by the fast reader; the exact reader reads the rest,
// which it either accepts or explains.
Result<Value, ReadError> read(std::string_view text) {
  if (std::optional<Value> value = read_fast(text)) return std::move(*value);
  return read_exact(text);
}

Result<Document, ReadError> read_document(std::string_view text) {
  if (std::optional<Document> document = read_fast_document(text)) return std::move(*document);
  auto tree = read_exact(text);
  if (!tree.ok()) return fail(std::move(tree).error());
  return Document(std::move(tree).value());
}

}  // namespace vorn::json
