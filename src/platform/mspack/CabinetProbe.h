#pragma once

#include <string>

// Direct looks at a cabinet's headers for the two answers libmspack cannot give: whether a
// cabinet it refuses is simply one without files (a valid, empty cabinet), and whether a
// folder whose decompression failed carries a data block whose checksum does not match
// (libmspack reports both a damaged stream and a checksum failure as a decompression error).
namespace cabinet_probe {

// True when the file starts with a cabinet header that declares no files.
bool IsEmptyCabinet(const std::string& path);

// True when a data block of the folder with that index (0 = first) has a non-zero checksum
// that does not match its bytes. Unreadable headers give false.
bool FolderHasBadChecksum(const std::string& path, int folderIndex);

}  // namespace cabinet_probe
