#pragma once

// How long the FTP client waits before it gives up, so that a silent server cannot hold the
// program for ever. Tests use short values.
struct CurlTimeouts {
    long connectSeconds = 30;   // TCP connection and login
    long responseSeconds = 30;  // each answer of the server on the control connection
    long lowSpeedSeconds = 30;  // a transfer that moves less than 1 byte/s for this long fails
};
