// Base64Encode, Base64Decode and Hash, on OpenSSL's libcrypto. The strict
// reading of Base64 (the standard alphabet, padding only at the end) is ours:
// OpenSSL's block decoder skips whitespace and keeps the padding's zero bytes.
#include <openssl/evp.h>

#include <array>
#include <string_view>

#include "aws_data/intrinsic_evaluation.hpp"
#include "aws_data/intrinsic_functions.hpp"
#include "aws_data/payload_size.hpp"
#include "aws_data/write.hpp"
#include "base/utf8.hpp"

namespace vorn::aws::intrinsics {

namespace {

Result<std::string_view, std::string> bounded_string(const Arguments& args, std::size_t index) {
  VORN_TRY_ASSIGN(const Value* text, argument_of_kind(args, index, Kind::kString));
  const std::size_t length = code_point_count(text->as_string());
  if (length > kMaxIntrinsicStringLength) {
    return fail("argument " + std::to_string(index + 1) + " is " + std::to_string(length) +
                " characters long; at most " + std::to_string(kMaxIntrinsicStringLength) +
                " are allowed");
  }
  return text->as_string();
}

bool is_base64_symbol(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// The number of '=' that pad `text`, or -1 when it is no standard Base64.
// `text` is whole quanta: the caller pads what was written without padding.
int base64_padding(std::string_view text) {
  if (text.size() % 4 != 0) return -1;
  std::size_t symbols = text.size();
  while (symbols > 0 && text.size() - symbols < 2 && text[symbols - 1] == '=') --symbols;
  for (std::size_t i = 0; i < symbols; ++i) {
    if (!is_base64_symbol(text[i])) return -1;
  }
  return static_cast<int>(text.size() - symbols);
}

const EVP_MD* digest_named(std::string_view name) {
  if (name == "MD5") return EVP_md5();
  if (name == "SHA-1") return EVP_sha1();
  if (name == "SHA-256") return EVP_sha256();
  if (name == "SHA-384") return EVP_sha384();
  if (name == "SHA-512") return EVP_sha512();
  return nullptr;
}

}  // namespace

Outcome base64_encode(const Arguments& args) {
  VORN_TRY_ASSIGN(const std::string_view text, bounded_string(args, 0));
  std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');  // and the NUL OpenSSL writes
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
  out.resize(static_cast<std::size_t>(written));
  return Value::string(out);
}

// Padding may be left out, as Java's decoder (which AWS runs) allows.
Outcome base64_decode(const Arguments& args) {
  VORN_TRY_ASSIGN(const std::string_view written, bounded_string(args, 0));
  if (written.size() % 4 == 1) return fail(std::string("argument 1 is not valid Base64"));
  std::string padded;
  std::string_view text = written;
  if (written.size() % 4 != 0) {
    padded = std::string(written) + std::string(4 - written.size() % 4, '=');
    text = padded;
  }
  const int padding = base64_padding(text);
  if (padding < 0) return fail(std::string("argument 1 is not valid Base64"));
  std::string out(3 * (text.size() / 4) + 1, '\0');
  const int decoded = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
  if (decoded < 0) return fail(std::string("argument 1 is not valid Base64"));
  out.resize(static_cast<std::size_t>(decoded - padding));
  if (!vorn::is_valid_utf8(out)) {
    return fail(std::string("the decoded bytes are not UTF-8 text"));
  }
  return Value::string(out);
}

// Data other than a string is hashed as its compact JSON text.
Outcome hash(const Arguments& args) {
  std::string data_text;
  std::string_view data;
  if (args[0].is_string()) {
    VORN_TRY_ASSIGN(data, bounded_string(args, 0));
  } else {
    // Four bytes at most per character: a longer text is too long in any case.
    const std::size_t most_bytes = 4 * kMaxIntrinsicStringLength;
    if (compact_size_up_to(args[0], most_bytes) <= most_bytes) data_text = write_json(args[0]);
    if (data_text.empty() || code_point_count(data_text) > kMaxIntrinsicStringLength) {
      return fail("argument 1 is longer than " + std::to_string(kMaxIntrinsicStringLength) +
                  " characters as JSON text");
    }
    data = data_text;
  }
  VORN_TRY_ASSIGN(const Value* algorithm, argument_of_kind(args, 1, Kind::kString));
  const EVP_MD* digest = digest_named(algorithm->as_string());
  if (digest == nullptr) {
    return fail("unknown hash algorithm '" + std::string(algorithm->as_string()) +
                "'; the algorithms are MD5, SHA-1, SHA-256, SHA-384 and SHA-512");
  }
  std::array<unsigned char, EVP_MAX_MD_SIZE> bytes{};
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), bytes.data(), &length, digest, nullptr) != 1) {
    return fail(std::string("the digest could not be computed"));
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 0xf];
  }
  return Value::string(out);
}

}  // namespace vorn::aws::intrinsics
