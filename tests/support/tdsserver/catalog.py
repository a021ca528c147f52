"""The databases the server pretends to hold, loaded from the catalog JSON.

Names are compared without regard to letter case, as under a case-insensitive
server collation; replies use the spelling of the catalog."""
import json
import os
import re
import threading

SYSTEM_DATABASES = [("master", 1), ("tempdb", 2), ("model", 3), ("msdb", 4)]


class Database:
    def __init__(self, spec):
        self.name = spec["name"]
        self.id = int(spec["id"])
        self.tables = list(spec.get("tables", []))
        self.views = list(spec.get("views", []))
        self.offline = bool(spec.get("offline", False))
        self.read_only = bool(spec.get("read_only", False))
        self.single_user = bool(spec.get("single_user", False))
        # Whether the login holds the permissions to change the database.
        self.writable = bool(spec.get("writable", True))
        self.verzija = None
        if "verzija" in spec:
            self.verzija = [str(v) for v in spec["verzija"]]
            if not self.find_table("Verzija"):
                # Rows of Verzija imply the table.
                self.tables.append("Verzija")
        elif self.find_table("Verzija"):
            self.verzija = []

    def find_table(self, name):
        return next((t for t in self.tables if t.lower() == name.lower()), None)

    def dump(self):
        return {"name": self.name, "id": self.id, "tables": self.tables, "views": self.views,
                "offline": self.offline, "read_only": self.read_only,
                "single_user": self.single_user, "writable": self.writable, "verzija": self.verzija}


class FaultRule:
    """A pattern that makes matching batches fail, wait, or drop the connection."""

    def __init__(self, spec):
        self.pattern = re.compile(spec["match"], re.DOTALL)
        self.database = spec.get("database")
        self.occurrence = spec.get("occurrence")
        self.error = spec.get("error")
        self.delay = float(spec.get("delay", 0))
        self.drop = bool(spec.get("drop", False))
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
        self.databases = [Database(d) for d in spec.get("databases", [])]
        for name, dbid in SYSTEM_DATABASES:
            if not self.find(name):
                self.databases.append(Database({"name": name, "id": dbid}))
        self.faults = [FaultRule(f) for f in spec.get("faults", [])]
        self.state_path = state_path
        self.save_state()

    def find(self, name):
        with self.lock:
            return next((d for d in self.databases if d.name.lower() == name.lower()), None)

    def user_database_names(self):
        """Names of the databases with id > 4, in case-insensitive name order."""
        return [d.name for d in self.user_databases()]

    def user_databases(self):
        """The databases with id > 4, in case-insensitive name order."""
        with self.lock:
            found = [d for d in self.databases if d.id > 4]
        return sorted(found, key=lambda d: (d.name.lower(), d.name))

    def match_fault(self, sql, database):
        """The first rule that fires for this batch, or None. Counts occurrences."""
        with self.lock:
            fired = None
            for rule in self.faults:
                if rule.applies(sql, database) and fired is None:
                    fired = rule
            return fired

    def stamp(self, database, value):
        """Sets every row of the database's Verzija; returns the new rows."""
        with self.lock:
            database.verzija = [value for _ in database.verzija]
            self.save_state()
            return list(database.verzija)

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
