"""One client connection: login, then requests one after the other, on its own thread."""
import select
import socket
import struct
import threading
import time

from . import packets, rpc, statements, tokens
from .dispatcher import WAITFOR, Dispatcher, Outcome, error_reply
from .login import Login, prelogin_reply
from .transactions import Transaction

# How long the server waits, after each full packet of a reply it has sent, for a cancel
# from the client before it runs the next statement. SQL Server checks for an attention
# between packets; the wait makes a client's cancel after the first packet land before the
# rest of the batch has run, as it does when the reply outgrows the network's buffers.
ATTENTION_WINDOW = 0.05

MIN_PACKET_SIZE = 512
MAX_PACKET_SIZE = 32767


class Cancelled(Exception):
    """The client sent ATTENTION (or went away) while a batch was being delayed."""

    def __init__(self, reason):
        super().__init__(reason)
        self.reason = reason


class Connection(threading.Thread):
    def __init__(self, sock, number, catalog, journal, stopping, max_packet_size=MAX_PACKET_SIZE):
        super().__init__(daemon=True, name="tds-conn-%d" % number)
        self.sock = sock
        self.number = number
        self.spid = 50 + number
        self.catalog = catalog
        self.journal = journal
        self.stopping = stopping
        self.dispatcher = Dispatcher(catalog)
        self.packet_size = packets.DEFAULT_PACKET_SIZE
        self.max_packet_size = max(MIN_PACKET_SIZE, min(MAX_PACKET_SIZE, max_packet_size))
        self.database = None
        self.tds_version = 0x74000004
        self.prepared = {}  # handle -> statement text of sp_prepare/sp_prepexec
        self.next_handle = 0
        self.transaction = Transaction()
        self.xact_abort = False
        self.nocount = False
        self.touched = set()  # databases changed inside the open transaction

    def log(self, entry):
        entry = dict(entry)
        entry["conn"] = self.number
        return self.journal.write(entry)

    def send(self, payload):
        packets.send_message(self.sock, packets.REPLY, payload, self.packet_size, self.spid)

    def run(self):
        try:
            if self.handshake():
                while not self.stopping.is_set():
                    self.serve_one()
        except (packets.ConnectionClosed, OSError):
            pass  # The client went away; nothing is left to answer.
        finally:
            self.close()
            if self.transaction.open:
                # SQL Server rolls back what a session leaves open when it goes away.
                self.roll_back("disconnect")
            self.log({"event": "disconnect"})

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass  # Already closed by the peer.
        self.sock.close()

    # --- login -------------------------------------------------------------------

    def handshake(self):
        """PRELOGIN (optional) and LOGIN7; returns True when the login was accepted."""
        ptype, payload = packets.read_message(self.sock)
        if ptype == packets.PRELOGIN:
            self.send(prelogin_reply())
            ptype, payload = packets.read_message(self.sock)
        if ptype != packets.LOGIN7:
            self.log({"event": "login", "outcome": "protocol error", "packet": ptype})
            return False
        login = Login(payload)
        self.tds_version = login.tds_version
        return self.accept_login(login)

    def refuse(self, login, *errors):
        # Journal first: a test may read the journal as soon as the client has its answer.
        self.log({"event": "login", "database": login.database, "user": login.user,
                  "outcome": "refused", "error": errors[0][0]})
        reply = b"".join(tokens.message(n, 1, sev, text) for n, sev, text in errors)
        self.send(reply + tokens.done(tokens.DONE_ERROR))
        return False

    def accept_login(self, login):
        failed = "Login failed for user '%s'." % login.user
        if login.user.lower() != "sa" or login.password != self.catalog.password:
            return self.refuse(login, (18456, 14, failed))
        name = login.database or "master"
        database = self.catalog.find(name)
        if database is None or database.offline:
            return self.refuse(login, (4060, 11, 'Cannot open database "%s" requested by the '
                                                 'login. The login failed.' % name),
                               (18456, 14, failed))
        self.database = database.name
        language = login.language or "us_english"
        requested = login.packet_size or packets.DEFAULT_PACKET_SIZE
        size = max(MIN_PACKET_SIZE, min(self.max_packet_size, requested))
        reply = (tokens.envchange(tokens.ENV_DATABASE, self.database, "master")
                 + tokens.message(5701, 2, 0, "Changed database context to '%s'." % self.database,
                                  is_error=False)
                 + tokens.envchange_collation(tokens.COLLATION_CS if self.catalog.case_sensitive
                                              else tokens.COLLATION)
                 + tokens.envchange(tokens.ENV_LANGUAGE, language, "")
                 + tokens.message(5703, 1, 0, "Changed language setting to %s." % language,
                                  is_error=False)
                 + tokens.loginack(self.tds_version))
        if login.wants_feature_ack:
            reply += tokens.featureextack_empty()
        reply += tokens.envchange(tokens.ENV_PACKET_SIZE, str(size), str(self.packet_size))
        reply += tokens.done()
        self.log({"event": "login", "database": self.database, "user": login.user,
                  "language": language, "packet_size": size, "outcome": "ok"})
        self.send(reply)
        self.packet_size = size
        return True

    # --- requests ----------------------------------------------------------------

    def serve_one(self):
        ptype, payload = packets.read_message(self.sock)
        if ptype == packets.SQL_BATCH:
            stream = self.stream()
            if self.run_batch(self.batch_text(payload), {}, stream):
                stream.finish()
        elif ptype == packets.RPC:
            self.serve_rpc(rpc.parse(payload))
        elif ptype == packets.ATTENTION:
            # A cancel that arrived after the reply was complete still wants its DONE.
            self.log({"event": "attention", "database": self.database, "when": "after reply"})
            self.send(tokens.done(tokens.DONE_ATTN))
        else:
            self.log({"event": "request", "packet": ptype, "database": self.database,
                      "outcome": "ok"})
            self.send(tokens.done())

    def stream(self):
        return packets.ReplyStream(self.sock, self.packet_size, self.spid)

    @staticmethod
    def batch_text(payload):
        """The UTF-16LE text of an SQLBatch, after its ALL_HEADERS block."""
        if len(payload) >= 4:
            total = struct.unpack_from("<I", payload, 0)[0]
            if 4 <= total <= len(payload) and total % 2 == 0 and total < 4096:
                payload = payload[total:]
        return payload.decode("utf-16-le", errors="replace")

    def serve_rpc(self, call):
        """Prepared statements: run their text like a batch, answer with handle and DONEPROC."""
        sql = None
        if call.proc == rpc.EXECUTESQL:
            sql = call.param(0)
        elif call.proc == rpc.PREPEXEC:
            sql = call.param(2)
        elif call.proc == rpc.EXECUTE:
            sql = self.prepared.get(call.param(0))
        stream = self.stream()
        if sql is not None:
            if not self.run_batch(sql, {"rpc": call.name}, stream, tokens.DONEINPROC):
                return
        else:
            self.log({"event": "rpc", "proc": call.name, "database": self.database})
        stream.write(tokens.return_status(0))
        if call.proc in (rpc.PREPARE, rpc.PREPEXEC):
            self.next_handle += 1
            handle = self.next_handle
            self.prepared[handle] = call.param(2)
            stream.write(tokens.return_int(0, "", handle))
        elif call.proc == rpc.UNPREPARE:
            self.prepared.pop(call.param(0), None)
        stream.write(tokens.done(token=tokens.DONEPROC))
        stream.finish()

    # --- transactions ------------------------------------------------------------

    def roll_back(self, reason):
        """Undoes the open transaction; returns its ENVCHANGE. Journaled with what was undone."""
        envchange, undone = self.transaction.rollback()
        self.catalog.mark_pending(self.touched, None)
        self.touched = set()
        self.log({"event": "rollback", "reason": reason, "database": self.database,
                  "undone": undone})
        return envchange

    def keep_change(self, outcome):
        """Remembers a statement's change with the open transaction, if one is open."""
        if outcome.undo is None or not self.transaction.open:
            return
        self.transaction.record(*outcome.undo)
        self.touched.add(outcome.changed)
        self.catalog.mark_pending([outcome.changed], self.number)

    # --- batches -----------------------------------------------------------------

    def run_batch(self, sql, extra, stream, token=tokens.DONE):
        """Runs a batch statement by statement into the stream, as SQL Server does: one DONE
        per statement (DONE_MORE while more follow, DONE_COUNT with its rows), an error that
        ends only its statement, its batch or also the transaction, a compile error that runs
        nothing. Returns False when the client cancelled or went away and the reply is done."""
        entry = dict({"database": self.database, "sql": sql}, **extra)
        parts = statements.split(sql)
        failure = self.compile(parts)
        if failure is not None:
            self.log(dict(entry, **failure.journal_fields(), statements_run=0,
                          statements=len(parts)))
            stream.write(failure.body + failure.done(False, token=token))
            return True
        done = []  # (statement, Outcome) of the statements that ran
        for index, statement in enumerate(parts):
            try:
                outcome = self.run_one(statement)
            except Cancelled as cancel:
                return self.cancelled(entry, done, len(parts), cancel.reason, stream, token)
            more = index + 1 < len(parts)
            ends = self.abort_level(outcome)
            if ends == "transaction" and self.transaction.open:
                outcome.body += self.roll_back("error %d" % outcome.error)
            if ends in ("batch", "transaction"):
                more = False
            stream.write(outcome.body + outcome.done(more, self.nocount, token))
            done.append((statement, outcome))
            if not more:
                break
            if stream.flush_full() and self.attention_came():
                return self.cancelled(entry, done, len(parts), "attention", stream, token)
        if not parts:
            stream.write(Outcome().done(False, token=token))
        self.log(dict(entry, **self.summary(done, len(parts))))
        return True

    def compile(self, parts):
        """The error that stops the whole batch before it runs, if any."""
        for statement in parts:
            rule = self.catalog.match_fault(statement, self.database, compiling=True)
            if rule and rule.error:
                return self.rule_error(rule, "compile")
            failure = self.dispatcher.compile(statement)
            if failure is not None:
                return failure
        return None

    @staticmethod
    def rule_error(rule, abort=None):
        error = rule.error
        return error_reply(int(error["number"]), error.get("message", "Injected fault."),
                           state=int(error.get("state", 1)), severity=int(error.get("class", 16)),
                           abort=abort or rule.abort)

    def run_one(self, statement):
        """One statement with the fault rules; raises Cancelled or ConnectionClosed."""
        rule = self.catalog.match_fault(statement, self.database)
        if rule and rule.delay:
            self.wait(rule.delay)
        if rule and rule.drop:
            self.log({"database": self.database, "sql": statement, "outcome": "dropped"})
            # Closed without a reply, as when the server goes away mid-request. (An abortive
            # close, RST, gives the driver no better diagnosis: HY000 "Unknown error".)
            raise packets.ConnectionClosed()
        if rule and rule.error:
            return self.rule_error(rule)
        m = WAITFOR.match(statement)
        if m:
            h, mi, sec, frac = m.groups()
            self.wait(int(h) * 3600 + int(mi) * 60 + int(sec) + float("0." + (frac or "0")))
            return Outcome()
        outcome = self.dispatcher.run(statement, self)
        if outcome.new_database:
            self.database = outcome.new_database
        self.keep_change(outcome)
        return outcome

    def abort_level(self, outcome):
        if outcome.outcome != "error":
            return None
        if self.xact_abort and not outcome.raised:
            # SET XACT_ABORT ON: every run-time error ends the batch and the transaction.
            return "transaction"
        return outcome.abort

    def attention_came(self):
        """Waits briefly for a cancel after a packet went out; True when one came."""
        readable, _, _ = select.select([self.sock], [], [], ATTENTION_WINDOW)
        if not readable:
            return False
        ptype, _ = packets.read_message(self.sock)
        return ptype == packets.ATTENTION

    def cancelled(self, entry, done, total, reason, stream, token):
        """A batch cut short: journaled with what ran, answered with DONE_ATTN."""
        summary = self.summary(done, total)
        summary.update(outcome="cancelled", reason=reason)
        self.log(dict(entry, **summary))
        if reason != "attention":
            raise packets.ConnectionClosed()
        self.log({"event": "attention", "database": self.database, "when": "during batch",
                  "statements_run": len(done), "statements": total})
        stream.write(tokens.done(tokens.DONE_ATTN, token=token))
        stream.finish()
        return False

    def summary(self, done, total):
        """The journal fields of a batch: its outcome (the first error's), rows, and each
        statement when there are several."""
        fields = {"outcome": "ok"}
        errors = [o for _, o in done if o.outcome == "error"]
        if errors:
            fields.update(outcome="error", error=errors[0].error)
        counts = [o.rows for _, o in done if o.rows is not None]
        if counts:
            fields["rows"] = sum(counts)
        for _, o in done:
            if o.effect:
                fields.update(o.effect)
        if total > 1:
            fields["statements"] = [dict({"sql": s}, **o.journal_fields()) for s, o in done]
        fields["statements_run"] = len(done)
        if len(done) < total:
            fields["not_run"] = total - len(done)
        fields["trancount"] = self.transaction.count
        return fields

    def wait(self, seconds):
        """Sleeps, but gives up at once when the client cancels or disconnects."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return
            if self.stopping.is_set():
                raise Cancelled("shutdown")
            readable, _, _ = select.select([self.sock], [], [], min(left, 0.2))
            if readable:
                try:
                    ptype, _ = packets.read_message(self.sock)
                except (packets.ConnectionClosed, OSError):
                    raise Cancelled("client closed")
                if ptype == packets.ATTENTION:
                    raise Cancelled("attention")
