"""The one way the report stops on bad input: a ReportError whose text is the whole message."""

import re

QUOTE_LIMIT = 40  # characters of an offending field that a message shows


class ReportError(Exception):
    """Bad input; the message names the file and, where there is one, the line."""


def where(path, line_number=None):
    """'FILE' or 'FILE line N', the start of every message about an input."""
    return path if line_number is None else f"{path} line {line_number}"


def quoted(text, limit=QUOTE_LIMIT):
    """A field as a message quotes it: a short prefix, control characters shown escaped, so a
    message stays one short line whatever the input holds."""
    shown = text if len(text) <= limit else text[:limit] + "..."
    return "'" + shown.encode("unicode_escape").decode("ascii") + "'"


def shortened(text, limit):
    """`text` cut to `limit` characters, the last of them an ellipsis when it was longer."""
    return text if len(text) <= limit else text[:limit - 1].rstrip() + "…"


def one_line(message, limit=400):
    """A message made safe for the one error line: no line breaks, bounded length."""
    flat = re.sub(r"[\x00-\x1f\x7f]+", " ", str(message))
    return flat if len(flat) <= limit else flat[:limit] + "..."
