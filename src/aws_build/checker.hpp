// Checker: the state of one check_definition call, shared by the files that
// check one concern each (the machine, scopes and names, each state type's
// fields, Retry and Catch, templates).
//
// It collects diagnostics with the location each one names, kept as a step
// list too so that lines and columns can be found in one pass at the end,
// and it holds the one table of state names of the whole machine. The
// checker views the parsed document; the document must outlive it.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "aws_build/definition.hpp"
#include "aws_build/diagnostic.hpp"
#include "aws_build/location.hpp"
#include "aws_data/source_positions.hpp"
#include "aws_data/value.hpp"

namespace vorn::aws {

// A scope being checked: its transitions, gathered while its states are read,
// decide reachability once all are read.
struct ScopeCheck {
  std::uint32_t id = 0;
  std::uint32_t current_state = 0;  // the state whose transitions are being read
  std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;  // from, to
  bool has_terminal = false;
};

// For integer_field: no upper bound.
inline constexpr std::int64_t kUnbounded = INT64_MAX;
// The largest count of seconds AWS's schema takes.
inline constexpr std::int64_t kMaxSeconds = 99'999'999;

class Checker {
 public:
  explicit Checker(QueryLanguage machine_language) : machine_language_(machine_language) {}

  void error(std::string_view code, std::string message, const Location& at);
  void schema_error(std::string message, const Location& at) {
    error(code::kSchema, std::move(message), at);
  }
  void warning(std::string_view code, std::string message, const Location& at);
  void unsupported(std::string_view feature, const Location& at);
  // A diagnostic without a location text; `near` still gives it a line.
  void unlocated_error(std::string_view code, std::string message, const Location& near);
  // A diagnostic someone else built with a location relative to `base`
  // ("" for base itself, "/And[1]/Variable" below it).
  void adopt(Diagnostic diagnostic, const Location& base);

  bool failed() const { return errors_ > 0; }
  std::size_t error_count() const { return errors_; }
  QueryLanguage machine_language() const { return machine_language_; }

  // --- Names and transitions -------------------------------------------------
  std::uint32_t open_scope() { return next_scope_++; }
  // Registers a state name of a scope; reports a name used before anywhere.
  void add_state_name(std::string_view name, std::uint32_t scope, std::uint32_t index,
                      const Location& at);
  // Checks that `target` names a state of the scope, recording the edge.
  void link(ScopeCheck& scope, std::string_view target, const Location& at);
  std::optional<std::uint32_t> find_state(std::string_view name, std::uint32_t scope) const;

  // --- Field access with type checks ------------------------------------------
  // Each reports a wrong type at `object_at`/<field> and returns nothing then.
  std::optional<std::string> string_field(const Value& object, std::string_view field,
                                          const Location& object_at);
  std::optional<bool> bool_field(const Value& object, std::string_view field,
                                 const Location& object_at);
  std::optional<std::int64_t> integer_field(const Value& object, std::string_view field,
                                            const Location& object_at, std::int64_t minimum,
                                            std::int64_t maximum);
  std::optional<double> number_field(const Value& object, std::string_view field,
                                     const Location& object_at, double minimum,
                                     std::optional<double> maximum);
  const Value* object_field(const Value& object, std::string_view field,
                            const Location& object_at);
  const Value* array_field(const Value& object, std::string_view field,
                           const Location& object_at);
  // One of `values` (as a string); reported with the list otherwise.
  std::optional<std::string> enum_field(const Value& object, std::string_view field,
                                        const Location& object_at,
                                        std::initializer_list<std::string_view> values);

  // Reports every member of `object` not named in `allowed` (and warns of
  // Assign, which is allowed but not run).
  void allowed_fields(const Value& object, std::initializer_list<std::string_view> allowed,
                      const Location& object_at, bool assign_allowed = true);

  // --- Paths ----------------------------------------------------------------
  enum class PathRule : std::uint8_t {
    kAny,             // InputPath, OutputPath: any JSONPath, $$ included
    kReference,       // ResultPath, ...Path fields: definite, not $$
    kDefinite,        // ItemsPath: definite, $$ allowed
  };
  // InputPath/OutputPath/ResultPath: absent, null, or a path.
  PathField nullable_path_field(const Value& object, std::string_view field,
                                const Location& object_at, PathRule rule);
  // The ...Path fields that must hold a path when present.
  std::optional<std::string> path_field(const Value& object, std::string_view field,
                                        const Location& object_at, PathRule rule);
  // Whether `text` passes `rule`; reports nothing. A variable reference is
  // reported as unsupported at `at` and passes.
  bool path_passes(std::string_view text, PathRule rule, const Location& at);

  // --- Templates ---------------------------------------------------------------
  // Parameters, ResultSelector, ItemSelector, Credentials: an object whose
  // "<key>.$" members hold paths or intrinsic calls.
  std::optional<Value> template_field(const Value& object, std::string_view field,
                                      const Location& object_at);
  void check_template(const Value& template_value, const Location& at);

  std::vector<Diagnostic>& diagnostics() { return diagnostics_; }
  const std::vector<SourcePath>& paths() const { return paths_; }

 private:
  void add(Severity severity, std::string_view code, std::string message, std::string location,
           SourcePath path);

  QueryLanguage machine_language_;
  std::vector<Diagnostic> diagnostics_;
  std::vector<SourcePath> paths_;  // one per diagnostic
  // The member names of adopted locations, which paths_ views.
  std::deque<std::string> adopted_keys_;
  std::size_t errors_ = 0;

  struct NameEntry {
    std::uint32_t scope;
    std::uint32_t index;
  };
  std::unordered_map<std::string_view, NameEntry> names_;
  // Names met again in another scope (each already reported as a duplicate),
  // by scope, so that their own scope still finds them.
  std::map<std::pair<std::uint32_t, std::string_view>, std::uint32_t> repeated_names_;
  std::uint32_t next_scope_ = 0;
};

// The checks by concern, each in its own file.
// A scope object ({"StartAt", "States", ...}); its other fields are the
// caller's to allow.
void check_scope(Checker& checker, const Value& scope_object, const Location& at, Scope& out);
// Fills `out` in place (a State is large); false when the state is not
// even an object of a known type.
bool check_state(Checker& checker, const Value& state, std::string_view name, const Location& at,
                 ScopeCheck& scope, State& out);
// Field helpers the state checks share.
void check_exclusive(Checker& checker, const Value& state, std::string_view first,
                     std::string_view second, const Location& at);
void check_input_output(Checker& checker, const Value& state, const Location& at,
                        DataFlow& flow);
// InputPath, OutputPath, ResultPath and Parameters.
void check_result_flow(Checker& checker, const Value& state, const Location& at,
                       DataFlow& flow);
void check_parallel(Checker& checker, const Value& state, const Location& at, ScopeCheck& scope,
                    bool jsonata, ParallelState& out);
void check_map(Checker& checker, const Value& state, const Location& at, ScopeCheck& scope,
               bool jsonata, MapState& out);
// A state's Next or End.
Transition check_transition(Checker& checker, const Value& state, const Location& at,
                            ScopeCheck& scope);
std::vector<Retrier> check_retry(Checker& checker, const Value& state, const Location& at);
std::vector<Catcher> check_catch(Checker& checker, const Value& state, const Location& at,
                                 ScopeCheck& scope, bool jsonata);

}  // namespace vorn::aws
