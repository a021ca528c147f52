#include "shell/PeVersionReader.h"

std::string PeFileVersion::ToText() const {
    return std::to_string(major) + '.' + std::to_string(minor) + '.' + std::to_string(build) + '.' +
           std::to_string(revision);
}

std::optional<PeFileVersion> ReadPeFileVersion(const std::string&) { return std::nullopt; }
