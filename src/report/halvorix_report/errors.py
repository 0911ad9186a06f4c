"""The one way the report stops on bad input: a ReportError whose text is the whole message."""


class ReportError(Exception):
    """Bad input; the message names the file and, where there is one, the line."""


def where(path, line_number=None):
    """'FILE' or 'FILE line N', the start of every message about an input."""
    return path if line_number is None else f"{path} line {line_number}"
