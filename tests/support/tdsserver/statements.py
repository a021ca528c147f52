"""Cutting a batch into its statements, as SQL Server runs them one after the other.

A statement ends at a ";" or at a line break after which a new statement begins (a line
whose first word starts a statement). Quoted strings, bracketed names and comments are
skipped whole, so neither a ";" nor a line break inside them ends anything."""
import re

# Words that begin a statement when they begin a line.
STATEMENT_WORDS = {
    "ALTER", "BEGIN", "COMMIT", "CREATE", "DECLARE", "DELETE", "DROP", "EXEC", "EXECUTE",
    "GRANT", "IF", "INSERT", "MERGE", "PRINT", "RAISERROR", "REVOKE", "ROLLBACK", "SAVE",
    "SELECT", "SET", "THROW", "TRUNCATE", "UPDATE", "USE", "WAITFOR",
}

WORD = re.compile(r"[A-Za-z_]+")


def _skip_quoted(text, i, close):
    """Index after the closing character of a quoted run that starts at i; a doubled
    closing character stands for itself."""
    i += 1
    while i < len(text):
        if text[i] == close:
            if i + 1 < len(text) and text[i + 1] == close:
                i += 2
                continue
            return i + 1
        i += 1
    return i


def _begins_statement(text, i):
    """Whether the line that starts at i begins with a statement word ("BEGIN" only as
    BEGIN TRAN[SACTION], not as the start of a block)."""
    while i < len(text) and text[i] in " \t":
        i += 1
    m = WORD.match(text, i)
    if not m or m.group(0).upper() not in STATEMENT_WORDS:
        return False
    if m.group(0).upper() == "BEGIN":
        return bool(re.match(r"BEGIN\s+(TRAN|TRANSACTION|DISTRIBUTED)\b", text[i:], re.I))
    return True


def strip_comments(text):
    """The text with its comments replaced by one blank each, and trimmed."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c in "'[\"":
            end = _skip_quoted(text, i, "]" if c == "[" else c)
            out.append(text[i:end])
            i = end
        elif text.startswith("--", i):
            end = text.find("\n", i)
            i = len(text) if end < 0 else end
            out.append(" ")
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = len(text) if end < 0 else end + 2
            out.append(" ")
        else:
            out.append(c)
            i += 1
    return "".join(out).strip()


def split(batch):
    """The statements of a batch, each without its comments; empty ones are left out."""
    pieces = []
    start = 0
    i = 0
    while i < len(batch):
        c = batch[i]
        if c in "'[\"":
            i = _skip_quoted(batch, i, "]" if c == "[" else c)
            continue
        if batch.startswith("--", i):
            end = batch.find("\n", i)
            i = len(batch) if end < 0 else end
            continue
        if batch.startswith("/*", i):
            end = batch.find("*/", i + 2)
            i = len(batch) if end < 0 else end + 2
            continue
        if c == ";":
            pieces.append(batch[start:i])
            start = i + 1
        elif c == "\n" and _begins_statement(batch, i + 1):
            pieces.append(batch[start:i])
            start = i + 1
        i += 1
    pieces.append(batch[start:])
    return [s for s in (strip_comments(p) for p in pieces) if s]
