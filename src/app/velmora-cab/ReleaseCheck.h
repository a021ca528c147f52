#pragma once

#include <string>
#include <vector>

#include "platform/ICabinetIterator.h"
#include "platform/IFileSystem.h"
#include "platform/IUpdateCrypto.h"
#include "signing/UpdateKeys.h"

// What the maker checks before a cabinet goes to the update server: everything a store's
// program will rely on when it chooses, unpacks and runs it.
struct ReleaseFinding {
    enum class Kind { Error, Warning, Note };
    Kind kind;
    std::string text;
};

// The findings for the cabinet at `path`, in the order checked. `keys` check a signature file
// beside it (none: the signature is only noted); `files` serves the scratch unpacking.
std::vector<ReleaseFinding> CheckRelease(const std::string& path, ICabinetIterator& iterator,
                                         IFileSystem& files, IUpdateCrypto& crypto,
                                         const std::vector<UpdateKey>& keys);

// "error: ...", "warning: ...", "note: ..." lines; exit status 0 only without errors.
int PrintFindings(const std::vector<ReleaseFinding>& findings);
