#include "app/Wiring.h"

#include "platform/bcrypt/BCryptCrypto.h"
#include "platform/odbc/OdbcDatabase.h"
#include "platform/odbc/OdbcDriverChoice.h"
#include "platform/registry/RegistrySettingsStore.h"
#include "platform/setupapi/SetupApiCabinetIterator.h"
#include "platform/stdfs/StdFileSystem.h"
#include "platform/wininet/WinInetInternet.h"

// The Windows programs: FTP over WinINet, cabinets over SetupAPI's iterator, the settings from
// the registry (HKCU\Software\VB and VBA Program Settings), SQL Server through odbc32 with the
// best installed SQL Server driver (or VELMORA_ODBC_DRIVER), files through the standard library
// with UTF-16 paths, signatures
// through the system's BCrypt. The window is plain Win32 (platform/win32).

std::unique_ptr<IInternet> MakeInternet() { return std::make_unique<WinInetInternet>(); }

std::unique_ptr<IFileSystem> MakeFileSystem() { return std::make_unique<StdFileSystem>(); }

std::unique_ptr<ICabinetIterator> MakeCabinetIterator() {
    return std::make_unique<SetupApiCabinetIterator>();
}

std::unique_ptr<ISettingsStore> MakeSettingsStore() {
    return std::make_unique<RegistrySettingsStore>();
}

std::unique_ptr<IUpdateCrypto> MakeUpdateCrypto() { return std::make_unique<BCryptCrypto>(); }

DatabaseBackEnd MakeDatabase() {
    std::string driver = ChooseOdbcDriver();
    return {std::make_unique<OdbcDatabase>(driver), std::move(driver)};
}
