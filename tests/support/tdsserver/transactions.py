"""One connection's transaction: @@TRANCOUNT, its descriptor and what it would undo.

BEGIN TRAN counts up, COMMIT counts down and makes the work durable at 0, ROLLBACK
undoes everything and ends the transaction whatever the count. What is changed while
the count is above 0 is kept with a way to undo it; a connection that goes away with a
transaction open has it rolled back, as SQL Server does."""
import itertools
import struct

from . import tokens

_descriptors = itertools.count(1)


class Transaction:
    def __init__(self):
        self.count = 0
        self.descriptor = b""
        self.undo = []  # (description, function) in the order done

    @property
    def open(self):
        return self.count > 0

    def record(self, description, undo):
        """Remembers how to undo a change; a change outside a transaction is durable."""
        if self.open:
            self.undo.append((description, undo))

    def changes(self):
        return [d for d, _ in self.undo]

    def begin(self):
        """Returns the ENVCHANGE that starts the transaction, or b"" when one is open."""
        self.count += 1
        if self.count > 1:
            return b""
        self.descriptor = struct.pack("<Q", next(_descriptors))
        return tokens.envchange_transaction(tokens.ENV_BEGIN_TRANSACTION, self.descriptor)

    def commit(self):
        """Counts down; at 0 the work stays and the ENVCHANGE is returned."""
        self.count -= 1
        if self.count > 0:
            return b""
        self.undo = []
        return tokens.envchange_transaction(tokens.ENV_COMMIT_TRANSACTION, self.descriptor)

    def rollback(self):
        """Undoes every change in reverse order; returns (ENVCHANGE, what was undone)."""
        undone = []
        for description, undo in reversed(self.undo):
            undo()
            undone.append(description)
        self.undo = []
        self.count = 0
        return (tokens.envchange_transaction(tokens.ENV_ROLLBACK_TRANSACTION, self.descriptor),
                list(reversed(undone)))
