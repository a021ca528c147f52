#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The fixed file version of a Windows executable (PE32 or PE32+), read from the VS_FIXEDFILEINFO
// of its version resource by following the resource directory: type RT_VERSION (16), the first
// name, the first language.
struct PeFileVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;

    // "major.minor.build.revision" in decimal, as the platform's file-version text gives it.
    std::string ToText() const;
    bool operator==(const PeFileVersion&) const = default;
};

// Never reads outside the file, never loops on cyclic directories, never throws for bad input:
// a file that is missing, not a PE image, truncated, hostile, or carries no version resource
// gives nullopt.
std::optional<PeFileVersion> ReadPeFileVersion(const std::string& path);
