"""The pre-flight's query of sys.databases, with its select list read item by item.

Each item is "expression AS alias" (an item without AS is named after its column). The
expressions understood are the ones the tool writes: a column of sys.databases,
CAST(column AS int), COLLATIONPROPERTY(collation_name, 'CodePage') and the CASE that
asks HAS_PERMS_BY_NAME only of ONLINE, MULTI_USER databases. Every identifier outside
quotes that is not a keyword or a function must be a column of sys.databases, spelled
as the catalog's collation demands (exactly, when it is case-sensitive), or the query
fails with 207 before anything runs, as SQL Server compiles it."""
import re

from . import tokens
from .catalog import code_page

FLAGS = re.IGNORECASE | re.DOTALL
QUERY = re.compile(r"^\s*SELECT\s+(.*?)\s+FROM\s+(?:\[?master\]?\s*\.\s*)?(\[?sys\]?)\s*\.\s*"
                   r"(\[?databases\]?)\s+WHERE\s+(\w+)\s*>\s*4\s+ORDER\s+BY\s+(\w+)\s*$", FLAGS)
COLUMNS = {"name", "database_id", "state_desc", "is_read_only", "user_access_desc",
           "collation_name"}
KEYWORDS = {"AS", "CASE", "WHEN", "THEN", "ELSE", "END", "AND", "OR", "NOT", "NULL", "INT",
            "IS", "CAST", "N"}
IDENTIFIER = re.compile(r"'(?:[^']|'')*'|\[((?:[^\]]|\]\])*)\]|([A-Za-z_@#][\w@#$]*)(\s*\()?")
PERMISSION = re.compile(r"HAS_PERMS_BY_NAME\s*\(\s*(QUOTENAME\s*\(\s*name\s*\)|name)\s*,", FLAGS)


def matches(sql):
    return QUERY.match(sql) is not None


def _items(select_list):
    """The items of a select list, cut at the commas outside parentheses and quotes."""
    items, depth, start, quoted = [], 0, 0, False
    for i, c in enumerate(select_list):
        if c == "'":
            quoted = not quoted
        elif quoted:
            continue
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
        elif c == "," and depth == 0:
            items.append(select_list[start:i].strip())
            start = i + 1
    items.append(select_list[start:].strip())
    return items


def _split_alias(item):
    m = re.match(r"^(.*\S)\s+AS\s+\[?(\w+)\]?$", item, FLAGS)
    if m:
        return m.group(1), m.group(2)
    return item, item.strip("[]")


def _unknown_columns(expression, catalog):
    """The identifiers of an expression that name no column of sys.databases."""
    unknown = []
    for m in IDENTIFIER.finditer(expression):
        word = m.group(1) if m.group(1) is not None else m.group(2)
        if word is None or m.group(3) or word.upper() in KEYWORDS:
            continue  # a string, a function, a keyword
        if not any(catalog.same(word, c) for c in COLUMNS):
            unknown.append(word)
    return unknown


class Column:
    def __init__(self, alias, kind, evaluate):
        self.alias = alias
        self.kind = kind  # tokens.Int or plain text
        self.evaluate = evaluate


def _permissions(database, expression):
    """Writable as the CASE computes it: NULL unless ONLINE and MULTI_USER. A one-part name
    that is not a valid identifier (e.g. "Tarvik.2023") gives HAS_PERMS_BY_NAME NULL, so the
    comparison with 1 fails; QUOTENAME(name) makes it valid."""
    if database.offline or database.single_user:
        return None
    m = PERMISSION.search(expression)
    quoted = m is not None and m.group(1).upper().startswith("QUOTENAME")
    if not quoted and "." in database.name:
        return 0
    return 1 if database.writable else 0


def _column(expression, alias):
    e = re.sub(r"\s+", " ", expression.strip()).lower()
    simple = {
        "name": lambda d: d.name,
        "state_desc": lambda d: "OFFLINE" if d.offline else "ONLINE",
        "user_access_desc": lambda d: "SINGLE_USER" if d.single_user else "MULTI_USER",
        "collation_name": lambda d: None if d.offline else d.collation,
    }
    if e in simple:
        return Column(alias, str, simple[e])
    if e in ("cast(is_read_only as int)", "is_read_only"):
        return Column(alias, tokens.Int, lambda d: 1 if d.read_only else 0)
    if e in ("database_id",):
        return Column(alias, tokens.Int, lambda d: d.id)
    if e in ("collationproperty(collation_name, 'codepage')",
             "cast(collationproperty(collation_name, 'codepage') as int)"):
        return Column(alias, tokens.Int, lambda d: None if d.offline else code_page(d.collation))
    if e.startswith("case") and "has_perms_by_name" in e:
        return Column(alias, tokens.Int, lambda d: _permissions(d, expression))
    return None


def answer(sql, catalog):
    """(column names for colmetadata, rows) or (error number, message) for a bad query."""
    m = QUERY.match(sql)
    names = [m.group(2).strip("[]"), m.group(3).strip("[]")]
    if catalog.case_sensitive and names != ["sys", "databases"]:
        return None, (208, "Invalid object name '%s.%s'." % tuple(names))
    for word in (m.group(4), m.group(5)):
        if not any(catalog.same(word, c) for c in COLUMNS):
            return None, (207, "Invalid column name '%s'." % word)
    columns = []
    for item in _items(m.group(1)):
        expression, alias = _split_alias(item)
        unknown = _unknown_columns(expression, catalog)
        if unknown:
            return None, (207, "Invalid column name '%s'." % unknown[0])
        column = _column(expression, alias)
        if column is None:
            return None, (102, "Incorrect syntax near '%s'." % expression[:30])
        columns.append(column)
    heads = [tokens.Int(c.alias) if c.kind is tokens.Int else c.alias for c in columns]
    rows = [[c.evaluate(d) for c in columns] for d in catalog.user_databases()]
    return (heads, rows), None
