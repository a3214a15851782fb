#include "aws_run/task_error.hpp"

#include "base/utf8.hpp"

namespace vorn::aws {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void append_u_escape(std::string& out, std::uint32_t unit) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

// The two-character escapes json.dumps uses for control characters.
const char* short_escape(unsigned char byte) {
  switch (byte) {
    case '\b':
      return "\\b";
    case '\f':
      return "\\f";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      return nullptr;
  }
}

// A JSON string as Python's json.dumps writes it by default (ensure_ascii):
// only printable ASCII stays as is; everything else is a \u escape with
// lower-case hex, characters past U+FFFF as a surrogate pair. Lambda's
// cause is that text, so the bytes here must be Python's, not ours.
void append_python_json_string(std::string& out, std::string_view text) {
  out += '"';
  while (!text.empty()) {
    const unsigned char byte = static_cast<unsigned char>(text.front());
    if (byte >= 0x20 && byte < 0x7F) {
      if (byte == '"' || byte == '\\') out += '\\';
      out += static_cast<char>(byte);
      text.remove_prefix(1);
      continue;
    }
    if (const char* escape = short_escape(byte)) {
      out += escape;
      text.remove_prefix(1);
      continue;
    }
    const Utf8Char c = decode_utf8(text);
    if (c.length == 0) {
      append_u_escape(out, 0xFFFD);
      text.remove_prefix(1);
      continue;
    }
    if (c.code_point > 0xFFFF) {
      const std::uint32_t v = c.code_point - 0x10000;
      append_u_escape(out, 0xD800 + (v >> 10));
      append_u_escape(out, 0xDC00 + (v & 0x3FF));
    } else {
      append_u_escape(out, c.code_point);
    }
    text.remove_prefix(c.length);
  }
  out += '"';
}

std::string lambda_error_json(std::string_view type_name, std::string_view message,
                              std::span<const std::string> stack_frames,
                              std::string_view request_id, LambdaCauseStyle style) {
  const bool direct = style == LambdaCauseStyle::kDirect;
  const std::string_view item_separator = direct ? ", " : ",";
  const std::string_view key_separator = direct ? ": " : ":";
  std::string out = "{";
  const auto key = [&](std::string_view name, bool first) {
    if (!first) out += item_separator;
    append_python_json_string(out, name);
    out += key_separator;
  };
  key("errorMessage", true);
  append_python_json_string(out, message);
  key("errorType", false);
  append_python_json_string(out, type_name);
  key("requestId", false);
  append_python_json_string(out, request_id);
  key("stackTrace", false);
  out += '[';
  for (std::size_t i = 0; i < stack_frames.size(); ++i) {
    if (i > 0) out += item_separator;
    append_python_json_string(out, stack_frames[i]);
  }
  out += "]}";
  return out;
}

}  // namespace

bool is_uncatchable(const TaskError& failure) { return failure.error == error_name::kRuntime; }

std::string cause_prefix(const StateSite& site) {
  std::string prefix = "An error occurred while executing the state '";
  prefix += site.state_name;
  prefix += "' (entered at the event id #";
  prefix += std::to_string(site.entered_event_id);
  prefix += "). ";
  return prefix;
}

TaskError runtime_error(const StateSite& site, std::string_view detail) {
  std::string cause = cause_prefix(site);
  cause += detail;
  return TaskError{std::string(error_name::kRuntime), std::move(cause)};
}

TaskError task_timed_out() { return TaskError{std::string(error_name::kTimeout), std::nullopt}; }

TaskError data_limit_exceeded(std::string_view subject) {
  std::string cause = "The state/task '";
  cause += subject;
  cause += "' returned a result with a size exceeding the maximum number of bytes service limit.";
  return TaskError{std::string(error_name::kDataLimitExceeded), std::move(cause)};
}

TaskError lambda_exception(std::string_view type_name, std::string_view message,
                           std::span<const std::string> stack_frames, std::string_view request_id,
                           LambdaCauseStyle style) {
  return TaskError{std::string(type_name),
                   lambda_error_json(type_name, message, stack_frames, request_id, style)};
}

TaskError lambda_marshal_error(std::string_view detail, std::string_view request_id,
                               LambdaCauseStyle style) {
  const std::string message = "Unable to marshal response: " + std::string(detail);
  return lambda_exception(error_name::kMarshalError, message, {}, request_id, style);
}

}  // namespace vorn::aws
