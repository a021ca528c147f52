"""What each SQL batch does: the catalog queries, USE, the version stamp, anything else.

Only the statement shapes the upgrade tool sends are understood; every other batch
is accepted with a plain DONE, as a real server would run it without rows."""
import re

from . import tokens

# A bracketed identifier; "]]" stands for one "]" inside it.
BRACKET = r"\[(?:[^\]]|\]\])*\]"
NAME = r"(?:" + BRACKET + r"|[A-Za-z_#@][\w@#$]*)"
END = r"\s*;?\s*$"
FLAGS = re.IGNORECASE | re.DOTALL

SYSDATABASES = re.compile(
    r"^\s*SELECT\s+(\w+)\s+FROM\s+(?:\[?master\]?\s*\.\s*\[?dbo\]?\s*\.\s*|master\.\.)?\[?sysdatabases\]?"
    r"\s+WHERE\s+dbid\s*>\s*4\s+ORDER\s+BY\s+\w+" + END, FLAGS)
SYSOBJECTS = re.compile(
    r"^\s*SELECT\s+(\w+)\s+FROM\s+(" + NAME + r")\s*\.\s*\[?dbo\]?\s*\.\s*\[?sysobjects\]?"
    r"\s+WHERE\s+type\s*=\s*'U'\s+ORDER\s+BY\s+\w+" + END, FLAGS)
# The state query of the pre-flight: recognised by its source and the permission function; it
# is answered with the columns it names (Name, State, ReadOnly, Access, Writable).
DATABASE_STATES = re.compile(
    r"^\s*SELECT\s.*\bHAS_PERMS_BY_NAME\s*\(.*\bFROM\s+(?:\[?master\]?\s*\.\s*)?\[?sys\]?\s*\.\s*"
    r"\[?databases\]?\s+WHERE\s+database_id\s*>\s*4\s+ORDER\s+BY\s+name" + END, FLAGS)
USE = re.compile(r"^\s*USE\s+(" + NAME + r")" + END, FLAGS)
STAMP = re.compile(
    r"^\s*UPDATE\s+(" + NAME + r")\s*\.\s*\[?dbo\]?\s*\.\s*(" + NAME + r")"
    r"\s+SET\s+\[?Verzija\]?\s*=\s*N?'((?:[^']|'')*)'" + END, FLAGS)

# Batches that start like one of the shapes above but do not parse (an unbalanced
# bracket, say) get the syntax error a real server gives.
LOOKS_LIKE = re.compile(
    r"^\s*(?:USE\s*\[|SELECT\s+\w+\s+FROM\s*\[.*sysobjects|UPDATE\s*\[.*Verzija)", FLAGS)


def unquote(name):
    if name.startswith("["):
        return name[1:-1].replace("]]", "]")
    return name


class Outcome:
    """The reply to one batch and what the journal says about it.

    The reply is kept without its closing DONE so that a statement run inside a
    remote procedure call can close with DONEINPROC instead."""

    def __init__(self, body=b"", outcome="ok", error=None, rows=None, new_database=None,
                 effect=None, done_status=tokens.DONE_FINAL, done_cmd=0):
        self.body = body
        self.outcome = outcome
        self.error = error
        self.rows = rows
        self.new_database = new_database
        self.effect = effect
        self.done_status = done_status
        self.done_cmd = done_cmd

    def reply(self, token=tokens.DONE, more=False):
        status = self.done_status | (tokens.DONE_MORE if more else 0)
        if self.rows is not None:
            status |= tokens.DONE_COUNT
        return self.body + tokens.done(status, self.done_cmd, self.rows or 0, token)

    def journal_fields(self):
        fields = {"outcome": self.outcome}
        if self.error is not None:
            fields["error"] = self.error
        if self.rows is not None:
            fields["rows"] = self.rows
        if self.effect is not None:
            fields.update(self.effect)
        return fields


def error_reply(number, text, state=1, severity=16):
    return Outcome(tokens.message(number, state, severity, text), "error", error=number,
                   done_status=tokens.DONE_ERROR)


def rows_reply(column, values):
    """A single-column result set; its DONE carries the row count."""
    return table_reply([column], [[v] for v in values])


def table_reply(columns, rows):
    """A result set of NVARCHAR columns (None is NULL); its DONE carries the row count."""
    body = tokens.colmetadata(columns) + b"".join(tokens.row(r) for r in rows)
    return Outcome(body, rows=len(rows), done_cmd=tokens.CMD_SELECT)


def state_row(database):
    """One database as sys.databases and HAS_PERMS_BY_NAME describe it. The permissions are
    asked only of an ONLINE, MULTI_USER database, as the query's CASE does."""
    state = "OFFLINE" if database.offline else "ONLINE"
    access = "SINGLE_USER" if database.single_user else "MULTI_USER"
    writable = None
    if state == "ONLINE" and access == "MULTI_USER":
        writable = "1" if database.writable else "0"
    return [database.name, state, "1" if database.read_only else "0", access, writable]


def not_found(name):
    return error_reply(911, "Database '%s' does not exist. Make sure that the name is entered "
                       "correctly." % name)


def offline(name):
    return error_reply(942, "Database '%s' cannot be opened because it is offline." % name,
                       state=4, severity=14)


class Dispatcher:
    def __init__(self, catalog):
        self.catalog = catalog

    def open_database(self, name):
        """The database by name, or an error Outcome when it is missing or offline."""
        database = self.catalog.find(name)
        if database is None:
            return None, not_found(name)
        if database.offline:
            return None, offline(database.name)
        return database, None

    def run(self, sql, current):
        """Runs one batch in the database named current; returns an Outcome."""
        m = SYSDATABASES.match(sql)
        if m:
            names = self.catalog.user_database_names()
            return rows_reply(m.group(1), names)
        if DATABASE_STATES.match(sql):
            return table_reply(["Name", "State", "ReadOnly", "Access", "Writable"],
                               [state_row(d) for d in self.catalog.user_databases()])
        m = SYSOBJECTS.match(sql)
        if m:
            database, failure = self.open_database(unquote(m.group(2)))
            if failure:
                return failure
            with self.catalog.lock:
                names = sorted(database.tables, key=lambda n: (n.lower(), n))
            return rows_reply(m.group(1), names)
        m = USE.match(sql)
        if m:
            return self.use(unquote(m.group(1)), current)
        m = STAMP.match(sql)
        if m:
            return self.stamp(unquote(m.group(1)), unquote(m.group(2)),
                              m.group(3).replace("''", "'"))
        if LOOKS_LIKE.match(sql):
            near = sql.strip().splitlines()[0][-30:] if sql.strip() else ""
            return error_reply(102, "Incorrect syntax near '%s'." % near, severity=15)
        return Outcome()

    def use(self, name, current):
        database, failure = self.open_database(name)
        if failure:
            return failure
        reply = (tokens.envchange(tokens.ENV_DATABASE, database.name, current)
                 + tokens.message(5701, 2, 0, "Changed database context to '%s'." % database.name,
                                  is_error=False))
        return Outcome(reply, new_database=database.name)

    def stamp(self, db_name, table, value):
        database, failure = self.open_database(db_name)
        if failure:
            return failure
        if table.lower() != "verzija" or database.verzija is None:
            return error_reply(208, "Invalid object name '%s.dbo.%s'." % (db_name, table))
        if database.read_only:
            return error_reply(3906, "Failed to update database \"%s\" because the database is "
                               "read-only." % database.name)
        if not database.writable:
            return error_reply(229, "The UPDATE permission was denied on the object 'Verzija', "
                               "database '%s', schema 'dbo'." % database.name, state=5, severity=14)
        rows = self.catalog.stamp(database, value)
        return Outcome(rows=len(rows), done_cmd=tokens.CMD_UPDATE,
                       effect={"stamped": {"database": database.name, "verzija": rows}})
