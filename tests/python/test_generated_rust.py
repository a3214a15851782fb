"""Generated source compiles with rustc against the test-only runtime crate."""

import json
import pathlib
import shutil
import subprocess

import pytest

from _pyvorn import compile
from conftest import definition
from sample_definitions import EVERY_KIND_AND_FIELD

CRATE = pathlib.Path(__file__).resolve().parents[1] / "rust" / "vorn" / "src" / "lib.rs"

pytestmark = pytest.mark.skipif(shutil.which("rustc") is None, reason="rustc is not on PATH")

AWKWARD = 'q"b\\s\n\t\r\x01é \u202e\u2066 😀'

DEFINITIONS = {
    "succeed_only": definition({"A": {"Type": "Succeed"}}),
    "every_kind_and_field": json.dumps(EVERY_KIND_AND_FIELD),
    "optional_fields_absent": definition(
        {
            "T": {"Type": "Task", "Resource": "r", "End": True},
            "P": {"Type": "Pass", "Next": "T"},
            "C": {"Type": "Choice", "Choices": [{"Variable": "$", "BooleanEquals": True, "Next": "P"}]},
            "F": {"Type": "Fail"},
        },
        start_at="C",
    ),
    "awkward_names": definition(
        {
            AWKWARD: {
                "Type": "Task",
                "Resource": AWKWARD,
                "Comment": AWKWARD,
                "Parameters": {AWKWARD + "!": AWKWARD, AWKWARD + ".$": "$." + AWKWARD},
                "Retry": [{"ErrorEquals": [AWKWARD]}],
                "Catch": [{"ErrorEquals": [AWKWARD], "Next": "end"}],
                "Next": "pick",
            },
            "pick": {
                "Type": "Choice",
                "Choices": [{"Variable": "$." + AWKWARD, "StringEquals": AWKWARD, "Next": "end"}],
            },
            "end": {"Type": "Fail", "Error": AWKWARD, "Cause": AWKWARD},
        },
        start_at=AWKWARD,
    ),
    "empty_template_and_empty_result": definition(
        {
            "T": {"Type": "Task", "Resource": "r", "Parameters": {}, "ResultSelector": {}, "End": True},
            "P": {"Type": "Pass", "Result": [], "Parameters": {}, "Next": "T"},
        },
        start_at="P",
    ),
}


@pytest.fixture(scope="module")
def runtime_crate(tmp_path_factory):
    out = tmp_path_factory.mktemp("crate") / "libvorn.rlib"
    subprocess.run(
        ["rustc", "--edition", "2021", "--crate-type", "lib", "--crate-name", "vorn", str(CRATE),
         "-o", str(out)],
        check=True,
        capture_output=True,
    )
    return out


@pytest.mark.parametrize("name", DEFINITIONS)
def test_generated_source_compiles(name, runtime_crate, tmp_path):
    source = tmp_path / f"{name}.rs"
    source.write_text(compile(DEFINITIONS[name]), encoding="utf-8")
    result = subprocess.run(
        ["rustc", "--edition", "2021", "--crate-type", "lib", "-A", "unused", str(source),
         "--extern", f"vorn={runtime_crate}", "-o", str(tmp_path / f"lib{name}.rlib")],
        capture_output=True,
        text=True,
    )
    assert result.returncode == 0, result.stderr
