#pragma once

#include <memory>
#include <string>

#include "platform/IDatabase.h"

struct OdbcEnvironment;

// SQL Server through the ODBC driver manager. One environment for the program; each connection
// has its own handle.
class OdbcDatabase : public IDatabase {
public:
    // The driver from VELMORA_ODBC_DRIVER, or FreeTDS.
    OdbcDatabase();
    explicit OdbcDatabase(std::string driver);
    ~OdbcDatabase() override;

    std::unique_ptr<IConnection> NewConnection() override;
    const std::string& driver() const { return driver_; }

private:
    std::shared_ptr<OdbcEnvironment> env_;
    std::string driver_;
};
