#include "platform/odbc/OdbcDriverCalls.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// The file name of the driver library as the driver reports it (SQL_DRIVER_NAME).
std::string DriverFileName(SQLHDBC dbc) {
    SQLWCHAR name[512] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_DRIVER_NAME, name, sizeof name, &length))) return {};
    const std::size_t units = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / 2,
                                                    sizeof name / sizeof name[0] - 1);
    return Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(name), units));
}

#ifdef _WIN32

// The driver manager has loaded the driver: it is found among the process's modules.
template <typename Fn>
Fn Lookup(const std::string& file, const char* symbol) {
    std::u16string wide = Utf8ToUtf16(file);
    HMODULE module = GetModuleHandleW(reinterpret_cast<LPCWSTR>(wide.c_str()));
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, symbol)));
}

#else

struct Search {
    const std::string* file;
    std::string path;
};

int FindLoaded(dl_phdr_info* info, std::size_t, void* data) {
    auto* search = static_cast<Search*>(data);
    const std::string name = info->dlpi_name ? info->dlpi_name : "";
    const std::string& file = *search->file;
    if (name.size() < file.size() || name.compare(name.size() - file.size(), file.size(), file) != 0)
        return 0;
    if (name.size() > file.size() && name[name.size() - file.size() - 1] != '/') return 0;
    search->path = name;
    return 1;
}

// The driver manager has loaded the driver (by its full path): the loaded object whose file
// has the driver's name is opened again, without loading anything new.
template <typename Fn>
Fn Lookup(const std::string& file, const char* symbol) {
    if (file.empty() || file.find('/') != std::string::npos) return nullptr;
    Search search{&file, {}};
    dl_iterate_phdr(FindLoaded, &search);
    if (search.path.empty()) return nullptr;
    void* handle = dlopen(search.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return nullptr;
    void* address = dlsym(handle, symbol);
    // The manager keeps its own reference: closing ours leaves the driver loaded.
    dlclose(handle);
    return reinterpret_cast<Fn>(address);
}

#endif

}  // namespace

OdbcDriverCalls::OdbcDriverCalls(SQLHDBC dbc) {
    const std::string file = DriverFileName(dbc);
    moreResults_ = Lookup<MoreResultsFn>(file, "SQLMoreResults");
    getDiagRec_ = Lookup<GetDiagRecFn>(file, "SQLGetDiagRecW");
    // The manager's own entry points, found in place of the driver's (a manager that names
    // itself), would only repeat what the manager answers.
    if (reinterpret_cast<void*>(moreResults_) == reinterpret_cast<void*>(&SQLMoreResults)) {
        moreResults_ = nullptr;
    }
}

SQLHSTMT OdbcDriverCalls::DriverStatement(SQLHDBC dbc, SQLHSTMT managerStatement) const {
    // SQL_DRIVER_HSTMT takes the manager's handle in the buffer and puts the driver's there.
    SQLHSTMT handle = managerStatement;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &handle, sizeof handle, nullptr)) ||
        handle == managerStatement) {
        return SQL_NULL_HSTMT;
    }
    return handle;
}

std::vector<OdbcDiagRecord> OdbcDriverCalls::Diagnostics(SQLHSTMT driverStatement) const {
    return ReadDiagnostics(SQL_HANDLE_STMT, driverStatement, getDiagRec_);
}
