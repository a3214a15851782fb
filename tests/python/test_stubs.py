"""The type stubs of _pyvorn: they name what the module has, and mypy reads
them as the module behaves."""

import ast
import pathlib
import subprocess
import sys
import sysconfig
import textwrap

import pytest

import _pyvorn

STUB = pathlib.Path(__file__).resolve().parents[2] / "python" / "_pyvorn.pyi"

# Attributes every class object carries, which a stub never declares; __repr__
# is left out too, since object's already has the right type.
UNDECLARED = {"__doc__", "__module__", "__new__", "__repr__"}


def stub_tree():
    return ast.parse(STUB.read_text(encoding="utf-8"))


def defined_names(body):
    """Names a stub body defines: classes, functions, annotated and plain assignments."""
    names = set()
    for node in body:
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            names.add(node.target.id)
        elif isinstance(node, ast.Assign):
            names.update(target.id for target in node.targets if isinstance(target, ast.Name))
    return names


def stub_classes():
    return {node.name: node for node in stub_tree().body if isinstance(node, ast.ClassDef)}


def test_stubs_name_exactly_the_public_names_of_the_module():
    declared = defined_names(stub_tree().body)
    public = {name for name in vars(_pyvorn) if not name.startswith("_")} | {"__version__"}
    assert {name for name in declared if not name.startswith("_") or name == "__version__"} == public
    # The helper types of the stubs must not shadow anything the module has.
    assert [name for name in declared - public if hasattr(_pyvorn, name)] == []


@pytest.mark.parametrize(
    "name", [name for name, value in vars(_pyvorn).items() if isinstance(value, type)]
)
def test_stub_classes_declare_exactly_the_members_of_the_runtime_classes(name):
    runtime = getattr(_pyvorn, name)
    node = stub_classes()[name]
    if issubclass(runtime, BaseException):
        assert [ast.unparse(base) for base in node.bases] == [runtime.__base__.__name__]
        return
    declared = defined_names(node.body)
    # Private members (the command line's own accessors) are no part of the
    # typed surface, and stubtest does not ask for them.
    private = {member for member in vars(runtime) if member.startswith("_") and not member.startswith("__")}
    assert declared - {"__new__"} == set(vars(runtime)) - UNDECLARED - private
    # A class the module lets Python construct documents its arguments in a
    # text signature; LoweredIr has none, and only lower() makes one.
    assert ("__new__" in declared) == (runtime.__text_signature__ is not None)


def test_installed_stubs_are_the_ones_in_the_tree():
    site = pathlib.Path(_pyvorn.__file__).parent
    if str(site) not in sysconfig.get_paths().values():
        pytest.skip(f"the module under test is not installed: it was loaded from {site}")
    source = STUB.read_bytes()
    assert (site / "_pyvorn.pyi").read_bytes() == source
    assert (site / "_pyvorn-stubs" / "__init__.pyi").read_bytes() == source


# Each "type: ignore" marks a call the module refuses at run time, and with
# --warn-unused-ignores mypy fails if the stubs ever stop refusing it.
USAGE = '''
    from collections.abc import Mapping
    from typing import Any, Literal, assert_type

    import _pyvorn
    import pyvorn
    from _pyvorn import ContextObject, JsonPath, JsonTemplate, StateMachine

    def handler(event: dict[str, Any]) -> dict[str, Any]:
        return {"seen": event["input"]}

    def loose_handler(event: Mapping[str, Any]) -> list[int]:
        return [event["state_id"]]

    def use(text: str) -> None:
        machine = StateMachine(text, {"k": 1})
        machine.register_handler("svc", handler)
        machine.register_handler("other", loose_handler)
        machine.register_handler("bad", lambda event: (1, 2))  # type: ignore[arg-type,return-value]
        result = machine.step()
        if result["status"] == "continue":
            assert_type(result["next_state"], int)
        elif result["status"] == "fatal":
            assert_type(result["error"], str)
        else:
            assert_type(result["status"], Literal["completed"])
            result["next_state"]  # type: ignore[typeddict-item]
        finished = machine.run()
        finished["next_state"]  # type: ignore[typeddict-item]
        for entry in machine.journal:
            assert_type(entry["state_name"], str)
            assert_type(entry["attempt"], int)
            entry["replay"]  # type: ignore[typeddict-item]
        assert_type(machine.current_state, int)
        machine.current_state = 0  # type: ignore[misc]
        StateMachine(text, [1])  # type: ignore[arg-type]

        handle = pyvorn.lower(text)
        assert_type(len(handle), int)
        assert_type(handle.state_names, list[str])
        assert_type(pyvorn.generate(handle), str)
        assert_type(StateMachine.from_lowered(handle, None), StateMachine)
        assert_type(pyvorn.compile(text), str)
        assert_type(pyvorn.validate(text), None)
        assert_type(pyvorn.__version__, str)

        assert_type(pyvorn.encode_value({"a": [1, 2.5, None, True]}), bytes)
        pyvorn.encode_value((1, 2))  # type: ignore[arg-type]
        pyvorn.encode_value({1: 2})  # type: ignore[dict-item]

        path = JsonPath("$.a")
        assert_type(path.root, Literal["$", "$$"])
        path.resolve({"a": 1})
        assert_type(JsonTemplate({"b.$": "$.a"}).evaluate({"a": 1}), dict[str, Any] | None)
        JsonTemplate([1])  # type: ignore[arg-type]
        pyvorn.json_place({}, "$.a", 1)

        context = ContextObject(execution_id="e", config={"k": 1})
        assert_type(context.state_name, str | None)
        context.state_name = "S"
        context.state_name = None  # type: ignore[assignment]
        assert_type(context.value(), dict[str, Any])
        ContextObject("e")  # type: ignore[call-arg]

        try:
            pyvorn.validate(text)
        except (pyvorn.ParseError, pyvorn.ValidationError) as error:
            assert_type(str(error), str)
'''


def test_mypy_reads_the_installed_stubs_as_the_module_behaves(tmp_path):
    pytest.importorskip("mypy", reason="mypy is not installed (the test extra brings it)")
    (tmp_path / "usage.py").write_text(textwrap.dedent(USAGE), encoding="utf-8")
    # Run outside the tree, so only what pip installed can be found.
    checked = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--warn-unused-ignores", "--no-incremental", "usage.py"],
        cwd=tmp_path,
        capture_output=True,
        text=True,
    )
    assert checked.returncode == 0, checked.stdout + checked.stderr
