#pragma once

#include <string>
#include <vector>

#include "support/TempFolder.h"


// The TDS test server (tests/support/tds_server) run as a child process on a free loopback
// port, with its catalog, journal and state files in a temporary folder of its own. The server
// is stopped (SIGTERM, then waited for) when the object goes.
class TdsTestServer {
public:
    // Starts the server with the given catalog JSON and any further options of tds_server
    // (e.g. {"--packet-size", "512"}); throws std::runtime_error when it does not report its
    // port within ten seconds.
    explicit TdsTestServer(const std::string& catalogJson,
                           const std::vector<std::string>& options = {});
    ~TdsTestServer();
    TdsTestServer(const TdsTestServer&) = delete;
    TdsTestServer& operator=(const TdsTestServer&) = delete;

    int Port() const { return port_; }

    // A FreeTDS connection string for this server, pinned to TDS 7.4 with UTF-8 on the client side.
    std::string ConnectionString(const std::string& database, const std::string& password = "") const;

    // The journal's lines (JSON objects) so far, in order.
    std::vector<std::string> JournalLines() const;
    // The journal lines that record a statement (those with "sql"), in order.
    std::vector<std::string> Statements() const;
    // The catalog state as the server last wrote it (JSON).
    std::string State() const;

private:
    void Stop();

    TempFolder folder_{"velmora-tds"};
    int pid_ = -1;
    int port_ = 0;
};
