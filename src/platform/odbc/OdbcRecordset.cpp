#include "platform/odbc/OdbcRecordset.h"

namespace {

constexpr const char* kSource = "ADODB.Recordset";
// The numbers the platform's data-access objects report for the same faults (3021, 3265).
constexpr std::int32_t kNoCurrentRow = -2146825267;
constexpr std::int32_t kNoSuchColumn = -2146825023;

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

}  // namespace

OdbcRecordset::OdbcRecordset(std::vector<std::string> columns,
                             std::vector<std::vector<std::string>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

std::string OdbcRecordset::Field(std::string_view column) const {
    if (!open_ || current_ >= rows_.size())
        throw AppError(kNoCurrentRow, kSource,
                       "Either BOF or EOF is True, or the current record has been deleted.");
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (SameName(columns_[i], column)) return rows_[current_][i];
    }
    throw AppError(kNoSuchColumn, kSource,
                   "Item cannot be found in the collection corresponding to the requested name or "
                   "ordinal.");
}

void OdbcRecordset::MoveNext() {
    if (current_ >= rows_.size())
        throw AppError(kNoCurrentRow, kSource,
                       "Either BOF or EOF is True, or the current record has been deleted.");
    ++current_;
}

void OdbcRecordset::Close() {
    open_ = false;
    rows_.clear();
}
