#pragma once

// How long the FTP client waits before it gives up, so that a silent server cannot hold the
// program for ever. Tests use short values.
struct CurlTimeouts {
    long connectSeconds = 30;   // TCP connection and login
    long responseSeconds = 30;  // each answer of the server on the control connection
    long lowSpeedSeconds = 30;  // a transfer that moves less than 1 byte/s for this long fails
    // The whole of one listing: a server that keeps sending its answer slowly never trips the
    // low-speed limit, so the answer as a whole has a bound of its own.
    long listingSeconds = 120;
};
