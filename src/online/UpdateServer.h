#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where the online update connects.
struct UpdateServer {
    std::string host;
    int port = 0;
    bool operator==(const UpdateServer&) const = default;
};

// The maker's server, or the one named by an override "host[:port]" (the value of
// VELMORA_UPDATE_SERVER; null or empty means none). An override without a port uses the FTP
// port; one whose port is not a number from 1 to 65535 is ignored.
UpdateServer ResolveUpdateServer(const char* override);
