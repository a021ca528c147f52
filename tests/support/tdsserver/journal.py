"""The journal: one JSON object per line, flushed at once, shared by all connections."""
import json
import threading


class Journal:
    def __init__(self, path):
        self._lock = threading.Lock()
        self._seq = 0
        self._file = open(path, "a", encoding="utf-8") if path else None

    def write(self, entry):
        """Adds the next sequence number and writes the entry; returns the number."""
        with self._lock:
            self._seq += 1
            line = {"seq": self._seq}
            line.update(entry)
            if self._file:
                self._file.write(json.dumps(line, ensure_ascii=False) + "\n")
                self._file.flush()
            return self._seq

    def close(self):
        with self._lock:
            if self._file:
                self._file.close()
                self._file = None
