#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <optional>

#include "database/ConnectionSettings.h"
#include "platform/odbc/OdbcConnectionString.h"
#include "platform/settings_ini/IniSettingsStore.h"
#include "support/TempFolder.h"

namespace {

// The INI store as the program uses it: found through XDG_CONFIG_HOME.
class SettingsFiles {
public:
    SettingsFiles() {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old) old_ = old;
        setenv("XDG_CONFIG_HOME", folder_.str().c_str(), 1);
    }
    ~SettingsFiles() {
        if (old_) setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
    }
    void Write(const std::string& app, const std::string& ini) {
        folder_.Write("VB and VBA Program Settings/" + app + ".ini", ini);
    }

private:
    TempFolder folder_{"velmora-settings"};
    std::optional<std::string> old_;
};

struct SettingsCase {
    const char* label;
    std::optional<std::string> ini;  // nullopt: no settings file at all
    std::string path;
    std::string server;
    int type;             // expected 16-bit number, when no error
    int errorNumber;      // 0: none
    std::string password;
};

TEST(ConnectionSettings, ReadFromTheMainProgramsSettings) {
    const std::vector<SettingsCase> cases = {
        {"no settings", std::nullopt, "", "(local)", -1, 0, ""},
        {"defaults", "[PutBaza]\nPutBaza=C:\\Tarvik\\Baza\n", "C:\\Tarvik\\Baza", "(local)", -1, 0, ""},
        {"server stored empty", "[PutBaza]\nPutBaza=x\n[ImeServera]\nImeServera=\n", "x", "(local)", -1, 0, ""},
        {"named instance", "[ImeServera]\nImeServera=KASA\\SQLEXPRESS\n", "", "KASA\\SQLEXPRESS", -1, 0, ""},
        {"TipServera 1", "[TipServera]\nTipServera=1\n", "", "(local)", 1, 0, "KolVanDuaMerTis"},
        {"TipServera 0", "[TipServera]\nTipServera=0\n", "", "(local)", 0, 0, ""},
        {"TipServera 2", "[TipServera]\nTipServera=2\n", "", "(local)", 2, 0, ""},
        {"TipServera with blanks", "[TipServera]\nTipServera= 1 \n", "", "(local)", 1, 0, "KolVanDuaMerTis"},
        {"TipServera letters", "[TipServera]\nTipServera=abc\n", "", "", 0, 13, ""},
        {"TipServera empty", "[TipServera]\nTipServera=\n", "", "", 0, 13, ""},
        {"TipServera 40000", "[TipServera]\nTipServera=40000\n", "", "", 0, 6, ""},
        {"TipServera -32768", "[TipServera]\nTipServera=-32768\n", "", "(local)", -32768, 0, ""},
        {"names ignore case, CR LF lines", "[putbaza]\r\nPUTBAZA=D:\\b\r\n", "D:\\b", "(local)", -1, 0, ""},
        {"key in another section", "[ImeServera]\nPutBaza=x\n", "", "(local)", -1, 0, ""},
        {"byte-order mark", "\xEF\xBB\xBF[PutBaza]\r\nPutBaza=C:\\B\r\n", "C:\\B", "(local)", -1, 0, ""},
    };
    for (const auto& c : cases) {
        SettingsFiles files;
        if (c.ini) files.Write("Tarvik", *c.ini);
        IniSettingsStore store;
        try {
            const ConnectionSettings s = ReadConnectionSettings(store, "Tarvik");
            EXPECT_EQ(c.errorNumber, 0) << c.label;
            EXPECT_EQ(s.databasePath, c.path) << c.label;
            EXPECT_EQ(s.serverName, c.server) << c.label;
            EXPECT_EQ(s.serverType, c.type) << c.label;
            EXPECT_EQ(PasswordFor(s.serverType), c.password) << c.label;
        } catch (const AppError& e) {
            EXPECT_EQ(e.number(), c.errorNumber) << c.label << ": " << e.description();
        }
    }
}

TEST(ConnectionSettings, SixteenBitConversion) {
    const std::vector<std::pair<std::string, int>> good = {
        {"1", 1}, {"-1", -1}, {"+7", 7}, {"32767", 32767}, {"2.5", 2}, {"3.5", 4}, {" 12 ", 12}};
    for (const auto& [text, value] : good) EXPECT_EQ(ToInteger16(text), value) << text;
    const std::vector<std::pair<std::string, int>> bad = {
        {"32768", 6}, {"-32769", 6}, {"99999999999999999999999", 6}, {"1x", 13}, {"", 13},
        {".", 13}, {"--1", 13}};
    for (const auto& [text, number] : bad) {
        try {
            ToInteger16(text);
            ADD_FAILURE() << text << " converted";
        } catch (const AppError& e) {
            EXPECT_EQ(e.number(), number) << text;
        }
    }
}

// A locale whose decimal point is a comma, as the window program takes the user's: an installed
// one, or one built from the system's locale sources into `folder`. Empty when neither works.
std::string CommaDecimalLocale(const TempFolder& folder) {
    for (const char* name : {"hr_HR.UTF-8", "de_DE.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') return name;
    }
    const std::string command = "localedef -i hr_HR -f UTF-8 '" + folder.str() +
                                "/hr_HR.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) > 1) return "";  // 1: warnings only, the locale is there
    setenv("LOCPATH", folder.str().c_str(), 1);
    if (std::setlocale(LC_NUMERIC, "hr_HR.UTF-8") && *std::localeconv()->decimal_point == ',')
        return "hr_HR.UTF-8";
    return "";
}

TEST(ConnectionSettings, SixteenBitConversionIgnoresTheProgramsLocale) {
    TempFolder folder{"velmora-locale"};
    const std::string locale = CommaDecimalLocale(folder);
    const auto restore = [] {
        std::setlocale(LC_NUMERIC, "C");
        unsetenv("LOCPATH");
    };
    if (locale.empty()) {
        restore();
        GTEST_SKIP() << "no locale with a decimal comma can be had here";
    }
    const int fraction = ToInteger16("1.6");
    const int half = ToInteger16("1.5");
    const int plain = ToInteger16("0.9");
    restore();
    EXPECT_EQ(fraction, 2) << locale;
    EXPECT_EQ(half, 2) << locale;
    EXPECT_EQ(plain, 1) << locale;
}

TEST(IniSettingsStore, FolderFollowsXdgConfigHomeThenHome) {
    EXPECT_EQ(IniSettingsStore::DefaultFolder("/x/cfg", "/home/u"), "/x/cfg/VB and VBA Program Settings");
    EXPECT_EQ(IniSettingsStore::DefaultFolder("", "/home/u"), "/home/u/.config/VB and VBA Program Settings");
    EXPECT_EQ(IniSettingsStore("/s").FilePath("Tarvik"), "/s/Tarvik.ini");
    EXPECT_EQ(IniSettingsStore("/s").GetSetting("", "A", "A", "d"), "d");
}

struct AddressCase {
    const char* label;
    std::string server;
    std::string odbcServer;
};

TEST(OdbcConnectionString, ServerNamesAsTheDriverTakesThem) {
    const std::vector<AddressCase> cases = {
        {"local", "(local)", "127.0.0.1"},
        {"local any case", "(LOCAL)", "127.0.0.1"},
        {"local with port", "(local),1433", "127.0.0.1,1433"},
        {"local instance", "(local)\\SQLEXPRESS", "127.0.0.1\\SQLEXPRESS"},
        {"host", "kasa1", "kasa1"},
        {"host and port", "10.0.0.5,1500", "10.0.0.5,1500"},
        {"host and instance", "KASA\\SQLEXPRESS", "KASA\\SQLEXPRESS"},
        {"not local", "(local)x", "(local)x"},
        {"dot", ".", "127.0.0.1"},
        {"dot instance", ".\\SQLEXPRESS", "127.0.0.1\\SQLEXPRESS"},
        {"dot with port", ".,1433", "127.0.0.1,1433"},
        {"dotted host", ".kasa", ".kasa"},
        {"host ending in a dot", "kasa.", "kasa."},
    };
    for (const auto& c : cases) EXPECT_EQ(OdbcServerAddress(c.server), c.odbcServer) << c.label;
}

TEST(OdbcConnectionString, FreeTdsPinnedToTds74WithTheCroatianLanguage) {
    ConnectionSettings settings{"x", "(local)", 1};
    const ConnectionSpec spec = MakeConnectionSpec(settings, "master", 60);
    EXPECT_EQ(BuildOdbcConnectionString(spec, "FreeTDS"),
              "Driver={FreeTDS};Server=127.0.0.1;Database=master;UID=sa;PWD=KolVanDuaMerTis;"
              "Language=Hrvatski;TDS_Version=7.4;ClientCharset=UTF-8;");
    settings.serverType = 0;
    EXPECT_EQ(BuildOdbcConnectionString(MakeConnectionSpec(settings, "a;b", 60),
                                        "ODBC Driver 18 for SQL Server"),
              "Driver={ODBC Driver 18 for SQL Server};Server=127.0.0.1;Database={a;b};UID=sa;PWD=;"
              "Language=Hrvatski;Encrypt=no;TrustServerCertificate=yes;");
    EXPECT_EQ(OdbcQuoteValue("a}b"), "{a}}b}");
}

}  // namespace
