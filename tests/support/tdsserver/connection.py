"""One client connection: login, then requests one after the other, on its own thread."""
import select
import socket
import struct
import threading
import time

from . import packets, rpc, tokens
from .dispatcher import Dispatcher, error_reply
from .login import Login, prelogin_reply

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
                 + tokens.envchange_collation(tokens.COLLATION)
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
            result = self.run_statement(self.batch_text(payload), {})
            if result is not None:
                self.send(result.reply())
        elif ptype == packets.RPC:
            self.serve_rpc(rpc.parse(payload))
        elif ptype == packets.ATTENTION:
            # A cancel that arrived after the reply was complete still wants its DONE.
            self.log({"event": "attention", "database": self.database})
            self.send(tokens.done(tokens.DONE_ATTN))
        else:
            self.log({"event": "request", "packet": ptype, "database": self.database,
                      "outcome": "ok"})
            self.send(tokens.done())

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
        body = b""
        if sql is not None:
            result = self.run_statement(sql, {"rpc": call.name})
            if result is None:
                return
            body += result.reply(tokens.DONEINPROC, more=True)
        else:
            self.log({"event": "rpc", "proc": call.name, "database": self.database})
        body += tokens.return_status(0)
        if call.proc in (rpc.PREPARE, rpc.PREPEXEC):
            self.next_handle += 1
            handle = self.next_handle
            self.prepared[handle] = call.param(2)
            body += tokens.return_int(0, "", handle)
        elif call.proc == rpc.UNPREPARE:
            self.prepared.pop(call.param(0), None)
        self.send(body + tokens.done(token=tokens.DONEPROC))

    def run_statement(self, sql, extra):
        """Runs one statement with the fault rules; returns its Outcome, or None when
        it was cancelled and the cancel has been acknowledged already."""
        entry = dict({"database": self.database, "sql": sql}, **extra)
        rule = self.catalog.match_fault(sql, self.database)
        try:
            if rule and rule.delay:
                self.wait(rule.delay)
        except Cancelled as cancel:
            self.log(dict(entry, outcome="cancelled", reason=cancel.reason))
            if cancel.reason == "attention":
                self.send(tokens.done(tokens.DONE_ATTN))
                return None
            raise packets.ConnectionClosed()
        if rule and rule.drop:
            self.log(dict(entry, outcome="dropped"))
            # Closed without a reply, as when the server goes away mid-request. (An abortive
            # close, RST, gives the driver no better diagnosis: HY000 "Unknown error".)
            raise packets.ConnectionClosed()
        if rule and rule.error:
            error = rule.error
            result = error_reply(int(error["number"]), error.get("message", "Injected fault."),
                                 state=int(error.get("state", 1)),
                                 severity=int(error.get("class", 16)))
        else:
            result = self.dispatcher.run(sql, self.database)
        if result.new_database:
            self.database = result.new_database
        self.log(dict(entry, **result.journal_fields()))
        return result

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
