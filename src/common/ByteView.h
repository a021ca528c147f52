#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// A read-only window on bytes whose every access is bounds-checked: a read that would reach past
// the end gives nullopt instead of touching memory, so parsers of untrusted files can chain reads
// without doing the arithmetic themselves. Values are little-endian, as in every Windows format.
class ByteView {
public:
    ByteView() = default;
    explicit ByteView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Size() const { return bytes_.size(); }

    std::optional<std::uint16_t> U16(std::size_t at) const {
        if (!Fits(at, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(bytes_[at] | (bytes_[at + 1] << 8));
    }

    std::optional<std::uint32_t> U32(std::size_t at) const {
        if (!Fits(at, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(*U16(at)) |
               (static_cast<std::uint32_t>(*U16(at + 2)) << 16);
    }

    // The bytes [at, at + size), or nullopt when they do not all lie inside this view.
    std::optional<ByteView> Sub(std::size_t at, std::size_t size) const {
        if (!Fits(at, size)) return std::nullopt;
        return ByteView(bytes_.subspan(at, size));
    }

private:
    // Written so that neither side can overflow: at + size is never computed.
    bool Fits(std::size_t at, std::size_t size) const {
        return at <= bytes_.size() && size <= bytes_.size() - at;
    }

    std::span<const std::uint8_t> bytes_;
};
