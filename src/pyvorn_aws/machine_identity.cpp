#include "machine_identity.hpp"

#include <algorithm>

#include "base/utf8.hpp"

namespace pyvorn::aws_binding {

namespace {

constexpr std::size_t kMaxNameLength = 80;

// Whitespace, brackets, wildcards, the punctuation AWS reserves, and control
// characters are refused in a machine's name.
bool allowed_in_name(char32_t c) {
  if (c <= 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
  constexpr std::u32string_view kReserved = U"<>{}[]?*\"#%\\^|~`$&,;:/";
  return kReserved.find(c) == std::u32string_view::npos;
}

vorn::aws::Diagnostic name_problem(std::string_view code, std::string message) {
  return {vorn::aws::Severity::kError, std::string(code), std::move(message), "", 0, 0};
}

// What a name holds, read once for both the machine's and the execution's
// checks.
struct NameShape {
  bool utf8 = true;
  bool allowed = true;
  std::size_t length = 0;  // in characters
};

NameShape scan_name(std::string_view name) {
  NameShape shape;
  for (std::string_view rest = name; !rest.empty(); ++shape.length) {
    const vorn::Utf8Char c = vorn::decode_utf8(rest);
    if (c.length == 0) {
      shape.utf8 = false;
      return shape;
    }
    shape.allowed = shape.allowed && allowed_in_name(c.code_point);
    rest.remove_prefix(c.length);
  }
  return shape;
}

std::optional<vorn::aws::Diagnostic> check_name(std::string_view name) {
  if (name.empty()) {
    return name_problem("STATE_MACHINE_NAME_EMPTY", "State machine name cannot be empty");
  }
  const NameShape shape = scan_name(name);
  if (!shape.utf8) {
    return name_problem("STATE_MACHINE_NAME_INVALID", "State machine name is not valid UTF-8");
  }
  if (shape.length > kMaxNameLength) {
    return name_problem("STATE_MACHINE_NAME_TOO_LONG",
                        "State machine name is longer than 80 characters");
  }
  if (!shape.allowed) {
    return name_problem("STATE_MACHINE_NAME_INVALID",
                        "Invalid State Machine Name: '" + std::string(name) + "'");
  }
  return std::nullopt;
}

bool is_region(std::string_view region) {
  return !region.empty() && std::all_of(region.begin(), region.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
  });
}

bool is_account(std::string_view account) {
  return account.size() == 12 &&
         std::all_of(account.begin(), account.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool is_valid_execution_name(std::string_view name) {
  const NameShape shape = scan_name(name);
  return !name.empty() && shape.utf8 && shape.allowed && shape.length <= kMaxNameLength;
}

std::string MachineIdentity::arn() const {
  return "arn:aws:states:" + region + ":" + account + ":stateMachine:" + name;
}

vorn::Result<MachineIdentity, IdentityError> make_identity(std::string_view name,
                                                           std::string_view region,
                                                           std::string_view account) {
  if (auto problem = check_name(name)) return vorn::fail(IdentityError{std::move(problem), ""});
  if (!is_region(region)) {
    return vorn::fail(IdentityError{
        std::nullopt, "region must be lower-case letters, digits and '-', got '" +
                          std::string(region) + "'"});
  }
  if (!is_account(account)) {
    return vorn::fail(IdentityError{
        std::nullopt, "account must be 12 digits, got '" + std::string(account) + "'"});
  }
  return MachineIdentity{std::string(name), std::string(region), std::string(account)};
}

}  // namespace pyvorn::aws_binding
