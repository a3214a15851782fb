// MachineIdentity: the name, region and account a machine is created under,
// checked as AWS checks them, and the ARNs built from them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "aws_build/diagnostic.hpp"
#include "base/result.hpp"

namespace pyvorn::aws_binding {

struct MachineIdentity {
  std::string name;
  std::string region;
  std::string account;
  // arn:aws:states:<region>:<account>:stateMachine:<name>
  std::string arn() const;
};

// A bad name is a definition problem AWS reports with its own codes
// (STATE_MACHINE_NAME_EMPTY, ..._TOO_LONG, ..._INVALID); a bad region or
// account is a plain argument error.
struct IdentityError {
  std::optional<vorn::aws::Diagnostic> diagnostic;
  std::string message;
};

// An execution's name follows the machine's rules: 1 to 80 characters, none
// of them whitespace, a control character, a bracket, a wildcard or the
// punctuation AWS reserves.
bool is_valid_execution_name(std::string_view name);

vorn::Result<MachineIdentity, IdentityError> make_identity(std::string_view name,
                                                           std::string_view region,
                                                           std::string_view account);

}  // namespace pyvorn::aws_binding
