"""A small TDS 7.4 server that plays Microsoft SQL Server for the tests.

Layers: packets (framing), tokens (reply encoding), login (PRELOGIN/LOGIN7),
catalog (the databases it pretends to hold), dispatcher (what each SQL batch
does), journal (what the tests read back), connection/server (threads, sockets).
"""
