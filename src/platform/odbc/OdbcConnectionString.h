#pragma once

#include <string>

#include "platform/IDatabase.h"

// The ODBC connection string for SQL Server. FreeTDS is the driver on Linux, pinned to TDS 7.4 (the
// protocol of SQL Server 2012 and later, with Unicode texts and no version guessing); another
// driver, such as Microsoft's "ODBC Driver 18 for SQL Server", can be named in the environment
// variable VELMORA_ODBC_DRIVER.
inline constexpr const char* kDefaultOdbcDriver = "FreeTDS";
inline constexpr const char* kOdbcDriverVariable = "VELMORA_ODBC_DRIVER";

// The driver from VELMORA_ODBC_DRIVER, or FreeTDS when it is unset or empty.
std::string OdbcDriverFromEnvironment();

// The server as the driver's Server= keyword takes it. "(local)" (any letter case) and "." are
// this machine, as SQL Server's own clients take them (".\SQLEXPRESS" is a common setting):
// 127.0.0.1, keeping a ",port" or "\instance" that follows it. "host", "host,port" and
// "host\instance" pass unchanged: both drivers accept those forms of SQL Server itself.
std::string OdbcServerAddress(const std::string& server);

// A value between braces when it holds a character that would end or confuse it ("}" doubled).
std::string OdbcQuoteValue(const std::string& value);

// Driver, server, database, SQL Server login, language; for FreeTDS also TDS_Version=7.4 and
// UTF-8 as the client character set; for Microsoft's drivers Encrypt=no and
// TrustServerCertificate=yes, as a store's server usually has only a self-made certificate.
std::string BuildOdbcConnectionString(const ConnectionSpec& spec, const std::string& driver);
