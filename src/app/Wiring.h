#pragma once

#include <memory>
#include <string>

#include "platform/ICabinetIterator.h"
#include "platform/IDatabase.h"
#include "platform/IFileSystem.h"
#include "platform/IInternet.h"
#include "platform/ISettingsStore.h"
#include "platform/IUpdateCrypto.h"

// Which back-end each program gets on this platform. One Wiring.cpp per platform
// (platform/linux, platform/windows) defines these, so a reader sees in one file what the
// Linux and the Windows programs are made of; the logic that uses them stays portable.

// The FTP client of the online update.
std::unique_ptr<IInternet> MakeInternet();
// The program folder's file operations.
std::unique_ptr<IFileSystem> MakeFileSystem();
// The cabinet iterator under the cabinet object (the upgrade and velmora-cab).
std::unique_ptr<ICabinetIterator> MakeCabinetIterator();
// The main program's per-user settings.
std::unique_ptr<ISettingsStore> MakeSettingsStore();
// SHA-256 and ECDSA P-256, which update cabinets are checked (and by the maker signed) with.
std::unique_ptr<IUpdateCrypto> MakeUpdateCrypto();

// SQL Server, and the name of the driver it goes through (written to the run log).
struct DatabaseBackEnd {
    std::unique_ptr<IDatabase> database;
    std::string driver;
};
DatabaseBackEnd MakeDatabase();
