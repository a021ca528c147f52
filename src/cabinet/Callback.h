#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class CabFile;

// The module that connects the platform's iterator with the object that started a pass, and
// the path helpers of extraction. Stored names separate folders with "\"; the helpers take the
// separator so the same rules serve native paths.
namespace Callback {

// The object that started the latest pass, or none. Replaced by each pass and cleared only when
// that object is destroyed (a dangling reference would answer the next stray callback).
CabFile* CurrentCabFile();
void SetCurrentCabFile(CabFile* cab);

// Handed to the iterator: answers what CabCallBack of the current object answers, or 0 when
// there is none.
std::uint32_t CabinetCallback(std::uintptr_t context, std::uint32_t notification,
                              std::uintptr_t param1, std::uintptr_t param2) noexcept;

// Splits at the last separator: folder gets everything up to and including it, name the rest.
// Without a separator folder is empty and name is the whole path.
void SplitPath(std::string_view path, std::string& folder, std::string& name,
               char separator = '\\');

// The path with the separator appended unless it already ends with one; "" gives the separator.
std::string AddBackslash(std::string_view path, char separator = '\\');

// Creates one folder and answers with the codes folder creation reports: 0 created, 75 exists
// already or access refused, 76 a parent level is missing, anything else another failure.
using FolderMaker = std::function<int(const std::string& folder)>;

// Makes sure the (native) folder exists, creating missing levels from the deepest existing one
// down. Returns true on success; an empty folder gives false.
bool CreateFolderPath(const std::string& folder, const FolderMaker& makeFolder);
bool CreateFolderPath(const std::string& folder);

}  // namespace Callback
