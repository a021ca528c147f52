"""The databases the server pretends to hold, loaded from the catalog JSON.

Names are compared without regard to letter case, as under a case-insensitive
server collation, unless the catalog says "case_sensitive": then database, table and
column names must be spelled as the catalog spells them. Replies use the catalog's
spelling."""
import json
import os
import re
import threading

SYSTEM_DATABASES = [("master", 1), ("tempdb", 2), ("model", 3), ("msdb", 4)]


DEFAULT_COLLATION = "Croatian_CI_AS"

# Code pages of the collations' non-Unicode text (COLLATIONPROPERTY(..., 'CodePage')), by
# the start of the collation name; the first that fits wins.
CODE_PAGES = [
    ("SQL_Latin1_General_CP1250", 1250), ("SQL_Latin1_General_CP1251", 1251),
    ("SQL_Latin1_General_CP1253", 1253), ("SQL_Latin1_General_CP1", 1252),
    ("SQL_Croatian", 1250), ("SQL_Czech", 1250), ("SQL_Hungarian", 1250), ("SQL_Polish", 1250),
    ("SQL_Romanian", 1250), ("SQL_Slovak", 1250), ("SQL_Slovenian", 1250),
    ("Croatian", 1250), ("Bosnian_Latin", 1250), ("Serbian_Latin", 1250), ("Czech", 1250),
    ("Hungarian", 1250), ("Polish", 1250), ("Romanian", 1250), ("Slovak", 1250),
    ("Slovenian", 1250), ("Albanian", 1250), ("Cyrillic", 1251), ("Serbian_Cyrillic", 1251),
    ("Bosnian_Cyrillic", 1251), ("Macedonian", 1251), ("Greek", 1253),
]


def code_page(collation):
    if "_UTF8" in collation.upper():
        return 65001
    for prefix, page in CODE_PAGES:
        if collation.startswith(prefix):
            return page
    return 1252


class Database:
    def __init__(self, spec, case_sensitive=False):
        self.case_sensitive = case_sensitive
        self.name = spec["name"]
        self.id = int(spec["id"])
        self.tables = list(spec.get("tables", []))
        self.views = list(spec.get("views", []))
        self.offline = bool(spec.get("offline", False))
        self.read_only = bool(spec.get("read_only", False))
        # A single-user database whose one connection is another session's: every
        # attempt to enter it answers 924.
        self.held_by_other = bool(spec.get("held_by_other", False))
        self.single_user = bool(spec.get("single_user", False)) or self.held_by_other
        self.collation = spec.get("collation", DEFAULT_COLLATION)
        # Rows inserted by the batches, per table (the catalog's spelling).
        self.rows = {}
        # Whether the login holds the permissions to change the database.
        self.writable = bool(spec.get("writable", True))
        # The version table, whatever its letter case (a case-sensitive database may
        # spell it VERZIJA); the stamp must name it as spelled there.
        self.verzija_table = next((t for t in self.tables if t.lower() == "verzija"), None)
        self.verzija = None
        if "verzija" in spec:
            self.verzija = [str(v) for v in spec["verzija"]]
            if self.verzija_table is None:
                # Rows of Verzija imply the table.
                self.tables.append("Verzija")
                self.verzija_table = "Verzija"
        elif self.verzija_table:
            self.verzija = []

    def same(self, a, b):
        return a == b if self.case_sensitive else a.lower() == b.lower()

    def find_table(self, name):
        return next((t for t in self.tables if self.same(t, name)), None)

    def dump(self):
        return {"name": self.name, "id": self.id, "tables": self.tables, "views": self.views,
                "offline": self.offline, "read_only": self.read_only,
                "single_user": self.single_user, "held_by_other": self.held_by_other,
                "writable": self.writable, "collation": self.collation, "rows": self.rows,
                "pending": self.pending, "verzija": self.verzija}

    pending = None  # the connection whose open transaction changed it, if any


class FaultRule:
    """A pattern that makes matching batches fail, wait, or drop the connection."""

    def __init__(self, spec):
        self.pattern = re.compile(spec["match"], re.DOTALL)
        self.database = spec.get("database")
        self.occurrence = spec.get("occurrence")
        self.error = spec.get("error")
        self.delay = float(spec.get("delay", 0))
        self.drop = bool(spec.get("drop", False))
        # How far the error reaches: "statement" (SQL Server's default for most run-time
        # errors), "batch", "transaction" (batch ended and transaction rolled back, as for a
        # deadlock) or "compile" (nothing of the batch runs). None: as the number decides.
        self.abort = spec.get("abort")
        self.seen = 0

    def applies(self, sql, database):
        if self.database is not None and self.database.lower() != (database or "").lower():
            return False
        if not self.pattern.search(sql):
            return False
        self.seen += 1
        return self.occurrence is None or self.seen == int(self.occurrence)


class Catalog:
    def __init__(self, path, state_path=None):
        with open(path, encoding="utf-8") as f:
            spec = json.load(f)
        self.lock = threading.RLock()
        self.password = spec.get("password", "")
        self.case_sensitive = bool(spec.get("case_sensitive", False))
        cs = self.case_sensitive
        self.databases = [Database(d, cs) for d in spec.get("databases", [])]
        for name, dbid in SYSTEM_DATABASES:
            if not self.find(name):
                self.databases.append(Database({"name": name, "id": dbid}, cs))
        self.faults = [FaultRule(f) for f in spec.get("faults", [])]
        self.state_path = state_path
        self.save_state()

    def same(self, a, b):
        """Identifiers as the server's collation compares them."""
        return a == b if self.case_sensitive else a.lower() == b.lower()

    def sort_key(self, name):
        return name if self.case_sensitive else (name.lower(), name)

    def find(self, name):
        with self.lock:
            return next((d for d in self.databases if self.same(d.name, name)), None)

    def user_database_names(self):
        """Names of the databases with id > 4, in case-insensitive name order."""
        return [d.name for d in self.user_databases()]

    def user_databases(self):
        """The databases with id > 4, in case-insensitive name order."""
        with self.lock:
            found = [d for d in self.databases if d.id > 4]
        return sorted(found, key=lambda d: self.sort_key(d.name))

    def match_fault(self, sql, database, compiling=False):
        """The first rule that fires for this statement, or None. Counts occurrences. The
        rules of compile errors are asked before the batch runs, the others as each
        statement runs."""
        with self.lock:
            fired = None
            for rule in self.faults:
                if (rule.abort == "compile") != compiling:
                    continue
                if rule.applies(sql, database) and fired is None:
                    fired = rule
            return fired

    def stamp(self, database, value):
        """Sets every row of the database's Verzija; returns (the new rows, undo)."""
        with self.lock:
            old = list(database.verzija)
            database.verzija = [value for _ in database.verzija]
            self.save_state()
            return list(database.verzija), lambda: self._set(database, "verzija", old)

    def create_table(self, database, table):
        with self.lock:
            database.tables.append(table)
            self.save_state()
            return lambda: self._remove_table(database, table)

    def drop_table(self, database, table):
        with self.lock:
            rows = database.rows.pop(table, None)
            database.tables.remove(table)
            self.save_state()

            def undo():
                database.tables.append(table)
                if rows is not None:
                    database.rows[table] = rows
            return undo

    def add_rows(self, database, table, count):
        """Counts rows into a table (count < 0 takes them out); returns undo."""
        with self.lock:
            database.rows[table] = max(0, database.rows.get(table, 0) + count)
            self.save_state()
            return lambda: self.add_rows(database, table, -count)

    def mark_pending(self, databases, connection):
        """Marks the databases an open transaction has changed (None clears the mark)."""
        with self.lock:
            for d in databases:
                d.pending = connection
            self.save_state()

    def _set(self, database, field, value):
        with self.lock:
            setattr(database, field, value)
            self.save_state()

    def _remove_table(self, database, table):
        with self.lock:
            if table in database.tables:
                database.tables.remove(table)
            database.rows.pop(table, None)
            self.save_state()

    def save_state(self):
        """Writes the whole catalog state (Verzija rows included) for the tests to read."""
        if not self.state_path:
            return
        with self.lock:
            # One database per line, so a test can find a database's line and read it whole.
            lines = [json.dumps(d.dump(), ensure_ascii=False) for d in self.databases]
            tmp = self.state_path + ".tmp"
            with open(tmp, "w", encoding="utf-8") as f:
                f.write('{"databases": [\n' + ",\n".join(lines) + "\n]}\n")
            os.replace(tmp, self.state_path)
