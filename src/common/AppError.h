#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// An error as the program reports it to the user: a signed 32-bit number, the source that
// raised it and a description. Every layer raises and catches this one type, so a message box
// can always show "number/description".
class AppError : public std::runtime_error {
public:
    AppError(std::int32_t number, std::string source, std::string description)
        : std::runtime_error(description),
          number_(number),
          source_(std::move(source)),
          description_(std::move(description)) {}

    std::int32_t number() const { return number_; }
    const std::string& source() const { return source_; }
    const std::string& description() const { return description_; }

    // The same error with another source, as an operation re-raises what its callee raised.
    AppError WithSource(std::string source) const { return {number_, std::move(source), description_}; }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

// Run-time error numbers of the program's own faults, with the descriptions shown beside them.
namespace RuntimeError {
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kInternalError = 51;
inline constexpr const char* kInvalidProcedureCallText = "Invalid procedure call or argument";
inline constexpr const char* kOverflowText = "Overflow";
inline constexpr const char* kSubscriptOutOfRangeText = "Subscript out of range";
inline constexpr const char* kTypeMismatchText = "Type mismatch";
}  // namespace RuntimeError
