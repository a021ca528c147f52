"""What each SQL batch does: the catalog queries, USE, the version stamp, anything else.

Only the statement shapes the upgrade tool sends are understood; every other batch
is accepted with a plain DONE, as a real server would run it without rows."""
import re

from . import statequery, tokens

# A bracketed identifier; "]]" stands for one "]" inside it.
BRACKET = r"\[(?:[^\]]|\]\])*\]"
NAME = r"(?:" + BRACKET + r"|[A-Za-z_#@][\w@#$]*)"
END = r"\s*;?\s*$"
FLAGS = re.IGNORECASE | re.DOTALL

SYSDATABASES = re.compile(
    r"^\s*SELECT\s+(\w+)\s+FROM\s+(?:\[?master\]?\s*\.\s*\[?dbo\]?\s*\.\s*|master\.\.)?\[?(sysdatabases)\]?"
    r"\s+WHERE\s+(dbid)\s*>\s*4\s+ORDER\s+BY\s+(\w+)" + END, FLAGS)
SYSOBJECTS = re.compile(
    r"^\s*SELECT\s+(\w+)\s+FROM\s+(" + NAME + r")\s*\.\s*\[?(dbo)\]?\s*\.\s*\[?(sysobjects)\]?"
    r"\s+WHERE\s+(type)\s*=\s*'U'\s+ORDER\s+BY\s+(\w+)" + END, FLAGS)
USE = re.compile(r"^\s*USE\s+(" + NAME + r")" + END, FLAGS)
STAMP = re.compile(
    r"^\s*UPDATE\s+(" + NAME + r")\s*\.\s*\[?dbo\]?\s*\.\s*(" + NAME + r")"
    r"\s+SET\s+\[?(\w+)\]?\s*=\s*N?'((?:[^']|'')*)'" + END, FLAGS)
TRANCOUNT = re.compile(r"^\s*SELECT\s+@@TRANCOUNT(?:\s+(?:AS\s+)?\[?(\w+)\]?)?" + END, FLAGS)
BEGIN_TRAN = re.compile(r"^\s*BEGIN\s+(?:DISTRIBUTED\s+)?TRAN(?:SACTION)?\b.*$", FLAGS)
COMMIT = re.compile(r"^\s*COMMIT(?:\s+(?:TRAN(?:SACTION)?|WORK)\b.*)?$", FLAGS)
ROLLBACK = re.compile(r"^\s*ROLLBACK(?:\s+(?:TRAN(?:SACTION)?|WORK)\b.*)?$", FLAGS)
SET_OPTION = re.compile(r"^\s*SET\s+(XACT_ABORT|NOCOUNT)\s+(ON|OFF)" + END, FLAGS)
TABLE_REF = r"(" + NAME + r"(?:\s*\.\s*(?:" + NAME + r")?){0,2})"
CREATE_TABLE = re.compile(r"^\s*CREATE\s+TABLE\s+" + TABLE_REF + r"\s*\(", FLAGS)
DROP_TABLE = re.compile(r"^\s*DROP\s+TABLE\s+(?:IF\s+EXISTS\s+)?" + TABLE_REF + END, FLAGS)
ALTER_TABLE = re.compile(r"^\s*ALTER\s+TABLE\s+" + TABLE_REF + r"\s", FLAGS)
INSERT = re.compile(r"^\s*INSERT\s+(?:INTO\s+)?" + TABLE_REF + r"\s*(?:\([^)]*\)\s*)?"
                    r"(VALUES\s*.*|SELECT\s.*|DEFAULT\s+VALUES)$", FLAGS)
DELETE = re.compile(r"^\s*DELETE\s+(?:FROM\s+)?" + TABLE_REF + r"(?:\s+WHERE\s.*)?$", FLAGS)
UPDATE = re.compile(r"^\s*UPDATE\s+" + TABLE_REF + r"\s+SET\s", FLAGS)
RAISERROR = re.compile(r"^\s*RAISERROR\s*\(\s*N?'((?:[^']|'')*)'\s*,\s*(\d+)\s*,\s*(\d+)", FLAGS)
THROW = re.compile(r"^\s*THROW\s+(\d+)\s*,\s*N?'((?:[^']|'')*)'\s*,\s*(\d+)" + END, FLAGS)
PRINT = re.compile(r"^\s*PRINT\s+N?'((?:[^']|'')*)'" + END, FLAGS)
WAITFOR = re.compile(r"^\s*WAITFOR\s+DELAY\s+'(\d+):(\d+):(\d+)(?:\.(\d+))?'" + END, FLAGS)

# How far an error reaches when nothing else says so (SET XACT_ABORT OFF): compile errors
# stop the whole batch before it runs, name resolution and conversion errors end the batch,
# a deadlock ends the batch and rolls the transaction back; every other error ends only its
# statement, and the batch goes on with the next one.
ABORT_BY_NUMBER = {102: "compile", 105: "compile", 156: "compile", 170: "compile",
                   207: "compile", 208: "batch", 245: "batch", 8114: "batch",
                   1205: "transaction"}
CMD_INSERT = 0xC3
CMD_DELETE = 0xC4

# Batches that start like one of the shapes above but do not parse (an unbalanced
# bracket, say) get the syntax error a real server gives.
LOOKS_LIKE = re.compile(
    r"^\s*(?:USE\s*\[|SELECT\s+\w+\s+FROM\s*\[.*sysobjects|UPDATE\s*\[.*Verzija)", FLAGS)


def unquote(name):
    if name.startswith("["):
        return name[1:-1].replace("]]", "]")
    return name


def parts(reference):
    """The parts of a one-, two- or three-part name, unquoted ("" for an empty part)."""
    found = re.findall(BRACKET + r"|[^.\s\[]+|(?<=\.)(?=\s*\.)", reference)
    return [unquote(p) for p in found]


class Outcome:
    """The reply to one statement and what the journal says about it.

    The reply is kept without its DONE: the batch adds it with the bits that say whether
    more statements follow and whether this one failed."""

    def __init__(self, body=b"", outcome="ok", error=None, rows=None, new_database=None,
                 effect=None, done_cmd=0, abort=None, raised=False):
        self.body = body
        self.outcome = outcome
        self.error = error
        self.rows = rows
        self.new_database = new_database
        self.effect = effect
        self.done_cmd = done_cmd
        self.abort = abort  # None, "statement", "batch", "transaction", "compile"
        self.raised = raised  # RAISERROR: never subject to XACT_ABORT
        self.changed = None  # the database whose data the statement changed
        self.undo = None  # (description, function) of that change

    def done(self, more, nocount=False, token=tokens.DONE):
        status = tokens.DONE_MORE if more else tokens.DONE_FINAL
        if self.outcome == "error":
            status |= tokens.DONE_ERROR
        count = self.rows if self.rows is not None and not nocount else None
        if count is not None:
            status |= tokens.DONE_COUNT
        return tokens.done(status, self.done_cmd, count or 0, token)

    def journal_fields(self):
        fields = {"outcome": self.outcome}
        if self.error is not None:
            fields["error"] = self.error
        if self.rows is not None:
            fields["rows"] = self.rows
        if self.effect is not None:
            fields.update(self.effect)
        return fields


def error_reply(number, text, state=1, severity=16, abort=None):
    return Outcome(tokens.message(number, state, severity, text), "error", error=number,
                   abort=abort or ABORT_BY_NUMBER.get(number, "statement"))


def rows_reply(column, values):
    """A single-column result set; its DONE carries the row count."""
    return table_reply([column], [[v] for v in values])


def table_reply(columns, rows):
    """A result set (NVARCHAR columns, tokens.Int for int ones; None is NULL); its DONE
    carries the row count."""
    body = tokens.colmetadata(columns) + b"".join(tokens.row(r, columns) for r in rows)
    return Outcome(body, rows=len(rows), done_cmd=tokens.CMD_SELECT)


def not_found(name):
    return error_reply(911, "Database '%s' does not exist. Make sure that the name is entered "
                       "correctly." % name)


def offline(name):
    return error_reply(942, "Database '%s' cannot be opened because it is offline." % name,
                       state=4, severity=14)


def in_use(name):
    return error_reply(924, "Database '%s' is already open and can only have one user at a "
                       "time." % name, severity=14)


def invalid_object(name):
    return error_reply(208, "Invalid object name '%s'." % name)


def invalid_column(name):
    return error_reply(207, "Invalid column name '%s'." % name)


class Dispatcher:
    def __init__(self, catalog):
        self.catalog = catalog

    def open_database(self, name):
        """The database by name, or an error Outcome when it cannot be entered."""
        database = self.catalog.find(name)
        if database is None:
            return None, not_found(name)
        if database.offline:
            return None, offline(database.name)
        if database.held_by_other:
            return None, in_use(database.name)
        return database, None

    def spelled(self, written, expected):
        """Whether an identifier is spelled as the collation demands."""
        return self.catalog.same(written, expected)

    def compile(self, sql):
        """The error that stops the whole batch before any of it runs, or None: statements of
        the shapes the tool sends that do not parse, or that name columns or objects the
        collation does not know."""
        m = SYSDATABASES.match(sql)
        if m:
            for written, expected in ((m.group(1), "name"), (m.group(3), "dbid"),
                                      (m.group(4), "name")):
                if not self.spelled(written, expected):
                    return invalid_column(written)
            if not self.spelled(m.group(2), "sysdatabases"):
                return invalid_object(m.group(2))
            return None
        if statequery.matches(sql):
            _, failure = statequery.answer(sql, self.catalog)
            return error_reply(*failure) if failure else None
        m = SYSOBJECTS.match(sql)
        if m:
            for written, expected in ((m.group(1), "name"), (m.group(5), "type"),
                                      (m.group(6), "name")):
                if not self.spelled(written, expected):
                    return invalid_column(written)
            for written, expected in ((m.group(3), "dbo"), (m.group(4), "sysobjects")):
                if not self.spelled(written, expected):
                    return invalid_object(written)
            return None
        if USE.match(sql) or STAMP.match(sql):
            return None
        if LOOKS_LIKE.match(sql):
            near = sql.strip().splitlines()[0][-30:] if sql.strip() else ""
            return error_reply(102, "Incorrect syntax near '%s'." % near, severity=15)
        return None

    def run(self, sql, session):
        """Runs one statement for the connection `session`; returns an Outcome."""
        current = session.database
        m = SYSDATABASES.match(sql)
        if m:
            return rows_reply(m.group(1), self.catalog.user_database_names())
        if statequery.matches(sql):
            (columns, rows), _ = statequery.answer(sql, self.catalog)
            return table_reply(columns, rows)
        m = SYSOBJECTS.match(sql)
        if m:
            database, failure = self.open_database(unquote(m.group(2)))
            if failure:
                return failure
            with self.catalog.lock:
                names = sorted(database.tables, key=self.catalog.sort_key)
            return rows_reply(m.group(1), names)
        m = USE.match(sql)
        if m:
            return self.use(unquote(m.group(1)), current)
        m = STAMP.match(sql)
        if m:
            return self.stamp(unquote(m.group(1)), unquote(m.group(2)), m.group(3),
                              m.group(4).replace("''", "'"))
        m = TRANCOUNT.match(sql)
        if m:
            return table_reply([tokens.Int(m.group(1) or "")], [[session.transaction.count]])
        return self.run_other(sql, session)

    def run_other(self, sql, session):
        transaction = session.transaction
        if BEGIN_TRAN.match(sql):
            return Outcome(transaction.begin())
        if COMMIT.match(sql):
            if not transaction.open:
                return error_reply(3902, "The COMMIT TRANSACTION request has no corresponding "
                                   "BEGIN TRANSACTION.")
            return Outcome(transaction.commit())
        if ROLLBACK.match(sql):
            if not transaction.open:
                return error_reply(3903, "The ROLLBACK TRANSACTION request has no "
                                   "corresponding BEGIN TRANSACTION.")
            return Outcome(session.roll_back("rollback"))
        m = SET_OPTION.match(sql)
        if m:
            setattr(session, m.group(1).lower(), m.group(2).upper() == "ON")
            return Outcome()
        m = RAISERROR.match(sql)
        if m:
            severity = int(m.group(2))
            text = m.group(1).replace("''", "'")
            if severity <= 10:
                return Outcome(tokens.message(50000, int(m.group(3)), severity, text,
                                              is_error=False))
            result = error_reply(50000, text, state=int(m.group(3)), severity=severity)
            result.raised = True
            return result
        m = THROW.match(sql)
        if m:
            return error_reply(int(m.group(1)), m.group(2).replace("''", "'"),
                               state=int(m.group(3)), abort="batch")
        m = PRINT.match(sql)
        if m:
            return Outcome(tokens.message(0, 1, 0, m.group(1).replace("''", "'"),
                                          is_error=False))
        return self.change(sql, session)

    def table(self, reference, current):
        """(database, table name as the catalog spells it, written name) or an Outcome."""
        names = parts(reference)
        written = ".".join(names)
        db_name = names[0] if len(names) == 3 else current
        database, failure = self.open_database(db_name)
        if failure:
            return None, None, failure
        table = database.find_table(names[-1])
        return database, table, written

    def refuses_change(self, database):
        if database.read_only:
            return error_reply(3906, "Failed to update database \"%s\" because the database "
                               "is read-only." % database.name)
        if not database.writable:
            return error_reply(229, "The permission was denied on the object, database '%s', "
                               "schema 'dbo'." % database.name, state=5, severity=14)
        return None

    def change(self, sql, session):
        """CREATE, DROP and ALTER TABLE, INSERT, UPDATE and DELETE of the batches; any other
        statement runs as nothing."""
        for shape, action in ((CREATE_TABLE, "create"), (DROP_TABLE, "drop"),
                              (ALTER_TABLE, "alter"), (INSERT, "insert"), (DELETE, "delete"),
                              (UPDATE, "update")):
            m = shape.match(sql)
            if m:
                break
        else:
            return Outcome()
        database, table, written = self.table(m.group(1), session.database)
        if database is None:
            return written  # the failure
        refused = self.refuses_change(database)
        if refused:
            return refused
        if action == "create":
            if table is not None:
                return error_reply(2714, "There is already an object named '%s' in the "
                                   "database." % parts(m.group(1))[-1])
            name = parts(m.group(1))[-1]
            return self.changed(Outcome(), database, "create table " + name,
                                self.catalog.create_table(database, name))
        if table is None:
            if action == "drop":
                return error_reply(3701, "Cannot drop the table '%s', because it does not exist "
                                   "or you do not have permission." % written)
            if action == "alter":
                return error_reply(4902, "Cannot find the object \"%s\" because it does not "
                                   "exist or you do not have permissions." % written)
            return invalid_object(written)
        if action == "drop":
            return self.changed(Outcome(), database, "drop table " + table,
                                self.catalog.drop_table(database, table))
        if action == "alter":
            return Outcome()
        if action == "insert":
            count = self.values_count(m.group(2))
            return self.changed(Outcome(rows=count, done_cmd=CMD_INSERT), database,
                                "insert %d into %s" % (count, table),
                                self.catalog.add_rows(database, table, count))
        count = database.rows.get(table, 0)
        if action == "delete":
            return self.changed(Outcome(rows=count, done_cmd=CMD_DELETE), database,
                                "delete %d from %s" % (count, table),
                                self.catalog.add_rows(database, table, -count))
        return Outcome(rows=count, done_cmd=tokens.CMD_UPDATE)

    @staticmethod
    def values_count(source):
        """Rows of INSERT ... VALUES (...), (...): the groups at the top level."""
        if not source.upper().startswith("VALUES"):
            return 0 if source.upper().startswith("SELECT") else 1
        depth, groups, quoted = 0, 0, False
        for c in source[6:]:
            if c == "'":
                quoted = not quoted
            elif quoted:
                continue
            elif c == "(":
                groups += depth == 0
                depth += 1
            elif c == ")":
                depth -= 1
        return groups

    @staticmethod
    def changed(outcome, database, description, undo):
        outcome.changed = database
        outcome.undo = ("%s: %s" % (database.name, description), undo)
        return outcome

    def use(self, name, current):
        database, failure = self.open_database(name)
        if failure:
            return failure
        reply = (tokens.envchange(tokens.ENV_DATABASE, database.name, current)
                 + tokens.message(5701, 2, 0, "Changed database context to '%s'." % database.name,
                                  is_error=False))
        return Outcome(reply, new_database=database.name)

    def stamp(self, db_name, table_name, column, value):
        database, failure = self.open_database(db_name)
        if failure:
            return failure
        table = database.find_table(table_name)
        if table is None or table != database.verzija_table or database.verzija is None:
            return invalid_object("%s.dbo.%s" % (db_name, table_name))
        if not self.catalog.same(column, "Verzija"):
            return invalid_column(column)
        refused = self.refuses_change(database)
        if refused:
            return refused
        rows, undo = self.catalog.stamp(database, value)
        result = Outcome(rows=len(rows), done_cmd=tokens.CMD_UPDATE,
                         effect={"stamped": {"database": database.name, "verzija": rows}})
        return self.changed(result, database, "stamp " + value, undo)
