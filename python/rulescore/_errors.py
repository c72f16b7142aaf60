"""The exception raised when a document cannot be read as a model."""

import re

__all__ = ["ModelError"]


class ModelError(Exception):
    """A PMML document that cannot be read or translated into a model.

    Attributes:
        code: the engine's message code (an int, for example 260009 for
            malformed XML); 0 when the document holds no RuleSetModel
            that can be scored.
        message: the engine's text.
        line: the line of the document at fault when the engine names one,
            else None.
    """

    def __init__(self, code, message, line=None):
        super().__init__("error %d: %s" % (code, message) if code else message)
        self.code = code
        self.message = message
        self.line = line


# Codes whose arguments are (file, line, column, ...).
_LOCATED = (260009, 260010, 260011)


def model_error(code, message, args, line=0):
    """Builds the ModelError for the engine's code, message and arguments,
    and the line of the element at fault (0 when the translator names none)."""
    if not line and code in _LOCATED and len(args) > 1 and str(args[1]).isdigit():
        line = int(args[1])
    elif not line:
        found = re.search(r"\bline (\d+)", message)
        if found:
            line = int(found.group(1))
    return ModelError(code, message, line or None)
