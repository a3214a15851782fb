import json

import pytest

# The AWS conformance rows assert in this helper module: show their values on failure.
pytest.register_assert_rewrite("aws_rows")


def definition(states, start_at=None, **top):
    """The text of a definition with the given states (a dict of name to state)."""
    if start_at is None:
        start_at = next(iter(states), "A")
    return json.dumps({"StartAt": start_at, "States": states, **top})


@pytest.fixture
def succeed_only():
    return '{"StartAt":"A","States":{"A":{"Type":"Succeed"}}}'
