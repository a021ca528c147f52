#pragma once

// How long WinINet waits before it gives up, in milliseconds, so that a silent server cannot hold
// the program for ever: the same 30 s as the FTP client of the other platform. Tests use short
// values.
struct WinInetTimeouts {
    unsigned long connectMilliseconds = 30000;  // the TCP connection
    unsigned long receiveMilliseconds = 30000;  // each answer, and each wait for data
    unsigned long sendMilliseconds = 30000;     // each command and each piece of data sent
};
