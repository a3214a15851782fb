#include "decoder.hpp"

#include "json/tree_builder.hpp"

namespace vorn {

namespace {

class TreeSink {
 public:
  bool null() { return push(json::Null{}); }
  bool boolean(bool b) { return push(b); }
  bool integer(std::int64_t i) { return push(i); }
  bool floating(double d) { return push(d); }
  bool string(std::string_view s) { return push(std::string(s)); }
  bool begin_array(std::size_t) { return true; }
  bool end_array(std::size_t count) {
    tree_.end_array(count);
    return true;
  }
  bool begin_object(std::size_t) { return true; }
  bool key(std::string_view k) {
    tree_.key(std::string(k));
    return true;
  }
  bool end_object(std::size_t count) {
    tree_.end_object(count);
    return true;
  }

  json::Value take_root() { return tree_.take_root(); }

 private:
  template <class T>
  bool push(T&& content) {
    tree_.value(std::forward<T>(content));
    return true;
  }

  json::TreeBuilder tree_;
};

}  // namespace

ContextError DeError::into_context_error() const {
  switch (kind) {
    case Kind::InvalidData:
      return ContextError::InvalidType;
    case Kind::MissingField:
      return ContextError::MissingField;
    case Kind::Custom:
      return ContextError::DeserializationFailure;
  }
  return ContextError::InvalidType;
}

Result<json::Value, DeError> decode_value(Bytes bytes) {
  TreeSink sink;
  BinaryDeserializer<TreeSink> deserializer(sink);
  if (deserializer.deserialize(bytes) != DecodeStatus::Ok) {
    return fail(DeError{DeError::Kind::InvalidData, {}});
  }
  return sink.take_root();
}

}  // namespace vorn
