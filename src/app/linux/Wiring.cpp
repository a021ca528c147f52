#include "app/Wiring.h"

#include "platform/curl/CurlInternet.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "platform/odbc/OdbcDatabase.h"
#include "platform/openssl/OpenSslCrypto.h"
#include "platform/settings_ini/IniSettingsStore.h"
#include "platform/stdfs/StdFileSystem.h"

// The Linux programs: FTP over libcurl, cabinets over libmspack, the settings from an INI file
// per application, SQL Server through unixODBC (FreeTDS unless VELMORA_ODBC_DRIVER names
// another driver), files through the standard library, signatures through
// OpenSSL's libcrypto. The window is Qt's (platform/qt).

std::unique_ptr<IInternet> MakeInternet() { return std::make_unique<CurlInternet>(); }

std::unique_ptr<IFileSystem> MakeFileSystem() { return std::make_unique<StdFileSystem>(); }

std::unique_ptr<ICabinetIterator> MakeCabinetIterator() {
    return std::make_unique<MspackCabinetIterator>();
}

std::unique_ptr<ISettingsStore> MakeSettingsStore() {
    return std::make_unique<IniSettingsStore>();
}

std::unique_ptr<IUpdateCrypto> MakeUpdateCrypto() { return std::make_unique<OpenSslCrypto>(); }

DatabaseBackEnd MakeDatabase() {
    auto database = std::make_unique<OdbcDatabase>();
    std::string driver = database->driver();
    return {std::move(database), std::move(driver)};
}
