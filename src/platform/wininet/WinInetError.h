#pragma once

#include <string>

// The run log's words for a failed WinINet call: the error number, what it means, and, for
// errors that carry one, the FTP server's own last answer ("550 No such file"). Reads the
// thread's last error, so call it straight after the failed call.
std::string DescribeLastWinInetError();
