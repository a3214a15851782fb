//! A stand-in for the runtime crate `vorn`, for tests only: it declares the
//! runtime IR types at the module paths, with the field names and order, that
//! generated source imports, so that a generated file can be compiled with
//! plain rustc (no registry, no cargo):
//!
//!     rustc --edition 2021 --crate-type lib --crate-name vorn lib.rs -o libvorn.rlib
//!     rustc --edition 2021 --crate-type lib generated.rs --extern vorn=libvorn.rlib

pub mod ir {
    pub mod id {
        #[derive(Clone, Copy, Debug, PartialEq, Eq, PartialOrd, Ord, Hash)]
        pub struct StateId(pub u16);

        #[derive(Clone, Copy, Debug, PartialEq, Eq, PartialOrd, Ord, Hash)]
        pub struct HandlerId(pub u16);

        #[derive(Clone, Copy, Debug, PartialEq, Eq, PartialOrd, Ord, Hash)]
        pub struct SchemaId(pub u16);

        #[derive(Clone, Copy, Debug, PartialEq, Eq, PartialOrd, Ord, Hash)]
        pub struct ConditionId(pub u16);
    }

    pub mod path {
        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub enum PathSegment {
            Field(&'static str),
            Index(u16),
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct ValuePath {
            pub segments: &'static [PathSegment],
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub enum ResultPathPolicy {
            Replace,
            Place(ValuePath),
            Discard,
        }
    }

    pub mod condition {
        use super::id::ConditionId;
        use super::path::ValuePath;

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct NumericEqualsCond {
            pub path: ValuePath,
            pub value: i64,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct StringEqualsCond {
            pub path: ValuePath,
            pub value: &'static str,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct BooleanEqualsCond {
            pub path: ValuePath,
            pub value: bool,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub enum ConditionKind {
            NumericEquals(NumericEqualsCond),
            StringEquals(StringEqualsCond),
            BooleanEquals(BooleanEqualsCond),
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct ConditionIr {
            pub id: ConditionId,
            pub kind: ConditionKind,
        }
    }

    pub mod template {
        use super::path::ValuePath;

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub enum TemplateEntry {
            Literal { key: &'static str, value: &'static [u8] },
            Reference { key: &'static str, path: ValuePath },
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct TemplateIr {
            pub entries: &'static [TemplateEntry],
        }
    }

    pub mod schema {
        use super::id::SchemaId;

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct SchemaIr {
            pub id: SchemaId,
            pub name: &'static str,
            pub encoded: &'static [u8],
        }
    }

    pub mod state {
        use super::id::{ConditionId, HandlerId, SchemaId, StateId};
        use super::path::{ResultPathPolicy, ValuePath};
        use super::template::TemplateIr;

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub enum TaskTransition {
            Next(StateId),
            End,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub enum PassTransition {
            Next(StateId),
            End,
        }

        #[derive(Clone, Copy, Debug, PartialEq)]
        pub struct RetryPolicy {
            pub error_equals: &'static [&'static str],
            pub max_attempts: u32,
            pub interval_ms: u32,
            pub backoff_rate: f32,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct CatchBlock {
            pub error_equals: &'static [&'static str],
            pub target: StateId,
        }

        #[derive(Clone, Copy, Debug, PartialEq)]
        pub struct TaskStateIr {
            pub handler_id: HandlerId,
            pub input_schema: SchemaId,
            pub output_schema: SchemaId,
            pub transition: TaskTransition,
            pub retry: &'static [RetryPolicy],
            pub catch: &'static [CatchBlock],
            pub input_path: Option<ValuePath>,
            pub output_path: Option<ValuePath>,
            pub result_path: ResultPathPolicy,
            pub parameters: Option<TemplateIr>,
            pub result_selector: Option<TemplateIr>,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct PassStateIr {
            pub input_schema: SchemaId,
            pub output_schema: SchemaId,
            pub result_data: Option<&'static [u8]>,
            pub transition: PassTransition,
            pub input_path: Option<ValuePath>,
            pub output_path: Option<ValuePath>,
            pub result_path: ResultPathPolicy,
            pub parameters: Option<TemplateIr>,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct ChoiceBranch {
            pub condition: ConditionId,
            pub target: StateId,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct ChoiceStateIr {
            pub input_schema: SchemaId,
            pub branches: &'static [ChoiceBranch],
            pub default: Option<StateId>,
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct SucceedStateIr;

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct FailStateIr {
            pub error_code: &'static str,
            pub message: &'static str,
        }

        #[derive(Clone, Copy, Debug, PartialEq)]
        pub enum StateKind {
            Task(TaskStateIr),
            Pass(PassStateIr),
            Choice(ChoiceStateIr),
            Succeed(SucceedStateIr),
            Fail(FailStateIr),
        }

        #[derive(Clone, Copy, Debug, PartialEq, Eq)]
        pub struct StateMetadata {
            pub name: &'static str,
            pub doc: &'static str,
        }

        #[derive(Clone, Copy, Debug, PartialEq)]
        pub struct StateIr {
            pub id: StateId,
            pub kind: StateKind,
            pub metadata: StateMetadata,
        }
    }

    use self::condition::ConditionIr;
    use self::id::{ConditionId, StateId};
    use self::schema::SchemaIr;
    use self::state::StateIr;

    #[derive(Clone, Copy, Debug, PartialEq, Eq)]
    pub struct IrMetadata {
        pub state_names: &'static [&'static str],
        pub schema_names: &'static [&'static str],
        pub condition_descriptions: &'static [&'static str],
        pub handler_names: &'static [&'static str],
    }

    #[derive(Clone, Copy, Debug, PartialEq)]
    pub struct StateMachineIr {
        pub start_at: StateId,
        pub states: &'static [StateIr],
        pub schemas: &'static [SchemaIr],
        pub conditions: &'static [ConditionIr],
        pub metadata: IrMetadata,
    }

    impl StateMachineIr {
        pub fn state(&self, id: StateId) -> Option<&StateIr> {
            self.states.iter().find(|state| state.id == id)
        }

        pub fn condition(&self, id: ConditionId) -> Option<&ConditionIr> {
            self.conditions.iter().find(|condition| condition.id == id)
        }
    }
}
