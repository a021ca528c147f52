#pragma once

#include <string>
#include <vector>

#include "platform/IDatabase.h"

// A result read to its end when it is opened (what a client-side cursor does), so that the row
// count is known at once and the connection is free for the next command while it is read.
class OdbcRecordset : public IRecordset {
public:
    OdbcRecordset(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows);

    std::int64_t RecordCount() const override { return static_cast<std::int64_t>(rows_.size()); }
    std::string Field(std::string_view column) const override;
    void MoveNext() override;
    void Close() override;

private:
    std::vector<std::string> columns_;
    std::vector<std::vector<std::string>> rows_;
    std::size_t current_ = 0;
    bool open_ = true;
};
