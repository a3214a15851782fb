// Parallel and Map: the states that hold scopes of their own, and the Map's
// many ways to say where items come from and how many run at once.
#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"

namespace vorn::aws {

using PathRule = Checker::PathRule;

void check_parallel(Checker& c, const Value& state, const Location& at, ScopeCheck& scope,
                    bool jsonata, ParallelState& parallel) {
  if (!jsonata) {
    c.allowed_fields(state,
                     {"Type", "Comment", "QueryLanguage", "Branches", "InputPath", "Parameters",
                      "ResultSelector", "ResultPath", "OutputPath", "Retry", "Catch", "Next",
                      "End"},
                     at);
  }
  const Location branches_at = at.member("Branches");
  if (state.find("Branches") == nullptr) {
    c.schema_error(message::fields_required({"Branches"}), at);
  } else if (const Value* branches = c.array_field(state, "Branches", at)) {
    if (branches->size() == 0) c.schema_error(message::value_cannot_be_empty(), branches_at);
    parallel.branches.resize(branches->size());
    for (std::size_t i = 0; i < branches->size(); ++i) {
      const Value& branch = branches->items()[i];
      const Location branch_at = branches_at.index(i);
      if (!branch.is_object()) {
        c.schema_error(message::element_wrong_type("an object"), branch_at);
        continue;
      }
      c.allowed_fields(branch, {"StartAt", "States", "Comment"}, branch_at, false);
      check_scope(c, branch, branch_at, parallel.branches[i]);
    }
  }
  if (!jsonata) {
    check_result_flow(c, state, at, parallel.flow);
    parallel.flow.result_selector = c.template_field(state, "ResultSelector", at);
    parallel.retry = check_retry(c, state, at);
  }
  parallel.catch_ = check_catch(c, state, at, scope, jsonata);
  parallel.transition = check_transition(c, state, at, scope);
}

namespace {

// Distributed Map labels become part of child execution names.
constexpr std::size_t kMaxLabelLength = 40;

void check_label(Checker& c, std::string_view label, const Location& at) {
  std::size_t length = 0;
  for (char ch : label) length += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  if (length == 0 || length > kMaxLabelLength) {
    c.error(code::kInvalidLabelName, message::label_length(kMaxLabelLength), at);
    return;
  }
  static constexpr std::string_view kForbidden = " \"#$%&*,:;<>?[\\]^{|}~`";
  for (std::size_t i = 0; i < label.size(); ++i) {
    const auto byte = static_cast<unsigned char>(label[i]);
    // U+0080..U+009F are written C2 80..C2 9F.
    const bool c1_control = byte == 0xC2 && i + 1 < label.size() &&
                            static_cast<unsigned char>(label[i + 1]) <= 0x9F;
    if (byte < 0x20 || byte == 0x7F || c1_control) {
      c.error(code::kInvalidLabelName, message::label_character(0), at);
      return;
    }
    if (kForbidden.find(label[i]) != std::string_view::npos) {
      c.error(code::kInvalidLabelName, message::label_character(label[i]), at);
      return;
    }
  }
}

void item_processor(Checker& c, const Value& state, const Location& at, MapState& map) {
  const bool has_processor = state.find("ItemProcessor") != nullptr;
  const bool has_iterator = state.find("Iterator") != nullptr;
  if (has_processor && has_iterator) {
    c.schema_error(message::fields_exclusive("ItemProcessor", "Iterator"), at);
  } else if (!has_processor && !has_iterator) {
    c.schema_error(message::one_field_required({"ItemProcessor", "Iterator"}), at);
    return;
  }
  map.legacy_iterator = !has_processor;
  const std::string_view field = has_processor ? "ItemProcessor" : "Iterator";
  const Value* processor = c.object_field(state, field, at);
  if (processor == nullptr) return;
  const Location processor_at = at.member(field);
  c.allowed_fields(*processor, {"ProcessorConfig", "StartAt", "States", "Comment"}, processor_at,
                   false);
  if (const Value* config = c.object_field(*processor, "ProcessorConfig", processor_at)) {
    const Location config_at = processor_at.member("ProcessorConfig");
    c.allowed_fields(*config, {"Mode", "ExecutionType"}, config_at, false);
    if (auto mode = c.enum_field(*config, "Mode", config_at, {"INLINE", "DISTRIBUTED"})) {
      map.mode = *mode == "DISTRIBUTED" ? MapMode::kDistributed : MapMode::kInline;
    }
    map.execution_type = c.enum_field(*config, "ExecutionType", config_at, {"STANDARD", "EXPRESS"});
  }
  check_scope(c, *processor, processor_at, map.processor);
}

}  // namespace

void check_map(Checker& c, const Value& state, const Location& at, ScopeCheck& scope, bool jsonata,
               MapState& map) {
  if (!jsonata) {
    c.allowed_fields(
        state,
        {"Type", "Comment", "QueryLanguage", "ItemProcessor", "Iterator", "ItemsPath",
         "ItemSelector", "Parameters", "MaxConcurrency", "MaxConcurrencyPath",
         "ToleratedFailureCount", "ToleratedFailureCountPath", "ToleratedFailurePercentage",
         "ToleratedFailurePercentagePath", "ItemReader", "ItemBatcher", "ResultWriter", "Label",
         "InputPath", "OutputPath", "ResultPath", "ResultSelector", "Retry", "Catch", "Next",
         "End"},
        at);
  }
  item_processor(c, state, at, map);
  if (!jsonata) {
    map.items_path = c.path_field(state, "ItemsPath", at, PathRule::kDefinite);
    check_exclusive(c, state, "ItemSelector", "Parameters", at);
    map.item_selector = c.template_field(state, "ItemSelector", at);
    if (!map.item_selector) map.item_selector = c.template_field(state, "Parameters", at);
    map.max_concurrency = c.integer_field(state, "MaxConcurrency", at, 0, kUnbounded);
    map.max_concurrency_path = c.path_field(state, "MaxConcurrencyPath", at, PathRule::kReference);
    check_exclusive(c, state, "MaxConcurrency", "MaxConcurrencyPath", at);
    map.tolerated_failure_count =
        c.integer_field(state, "ToleratedFailureCount", at, 0, kUnbounded);
    map.tolerated_failure_count_path =
        c.path_field(state, "ToleratedFailureCountPath", at, PathRule::kReference);
    check_exclusive(c, state, "ToleratedFailureCount", "ToleratedFailureCountPath", at);
    map.tolerated_failure_percentage =
        c.number_field(state, "ToleratedFailurePercentage", at, 0, 100);
    map.tolerated_failure_percentage_path =
        c.path_field(state, "ToleratedFailurePercentagePath", at, PathRule::kReference);
    check_exclusive(c, state, "ToleratedFailurePercentage", "ToleratedFailurePercentagePath", at);
    if (const Value* reader = c.object_field(state, "ItemReader", at)) map.item_reader = *reader;
    if (const Value* batcher = c.object_field(state, "ItemBatcher", at)) {
      map.item_batcher = *batcher;
    }
    if (const Value* writer = c.object_field(state, "ResultWriter", at)) {
      map.result_writer = *writer;
    }
    map.label = c.string_field(state, "Label", at);
    if (map.label) check_label(c, *map.label, at.member("Label"));
    check_input_output(c, state, at, map.flow);
    map.flow.result_path = c.nullable_path_field(state, "ResultPath", at, PathRule::kReference);
    map.flow.result_selector = c.template_field(state, "ResultSelector", at);
    map.retry = check_retry(c, state, at);
  }
  // What this toolkit cannot run is named wherever a Map uses it.
  if (state.find("ItemReader") != nullptr) c.unsupported("Map ItemReader", at.member("ItemReader"));
  if (state.find("ResultWriter") != nullptr) {
    c.unsupported("Map ResultWriter", at.member("ResultWriter"));
  }
  map.catch_ = check_catch(c, state, at, scope, jsonata);
  map.transition = check_transition(c, state, at, scope);
}

}  // namespace vorn::aws
