"""The AWS dialect: Amazon States Language definitions read and checked
exactly as AWS Step Functions does.

Opt-in and separate from the reduced dialect of ``pyvorn``: its own values
(member order and written numbers kept), its own rules and AWS's diagnostics.
"""

from pyvorn._aws import DefinitionError, StateMachine, validate

__all__ = ["DefinitionError", "StateMachine", "validate"]
