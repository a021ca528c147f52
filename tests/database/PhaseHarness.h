#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/Cp1250.h"
#include "database/DatabasePhase.h"
#include "platform/settings_ini/IniSettingsStore.h"
#include "run/RunLog.h"
#include "support/PeFixture.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"

// A program folder "Tarvik" with Tarvik.exe 3.0.0.13 and an upgrade file, the main program's
// settings in a temporary XDG_CONFIG_HOME, and a scripted window: everything the database
// phase reads, so that a test chooses only the script, the settings and the server.
class PhaseHarness {
public:
    PhaseHarness() {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old) oldXdg_ = old;
        setenv("XDG_CONFIG_HOME", (root_.path() / "config").string().c_str(), 1);
        root_.Write("Tarvik/placeholder", "");
        made_ = MakePeExe(programFolder_ + "/Tarvik.exe", "3.0.0.13");
    }
    ~PhaseHarness() {
        if (oldXdg_) setenv("XDG_CONFIG_HOME", oldXdg_->c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
    }

    bool Ready() const { return made_; }

    // The body lines of "[Akcija]" (UTF-8 here, Windows-1250 in the file).
    void SetScript(const std::vector<std::string>& lines) {
        std::string body;
        for (const auto& l : lines) body += l + "\r\n";
        root_.Write("Tarvik/Tarvik_Upg.Upg",
                    cp1250::FromUtf8("[Verzija]\r\n3.0.12 / 3.0.13\r\n*\r\n[Akcija]\r\n" + body + "*\r\n"));
    }
    void SetSettings(const std::string& ini) {
        root_.Write("config/VB and VBA Program Settings/Tarvik.ini", ini);
    }
    // Settings that reach `server` with the password of server kind `type`.
    void SetServer(const std::string& server, int type = 0) {
        SetSettings("[PutBaza]\nPutBaza=C:\\Tarvik\\Baza\n[ImeServera]\nImeServera=" + server +
                    "\n[TipServera]\nTipServera=" + std::to_string(type) + "\n");
    }

    // Runs the phase to its end; returns the exit status it ended the program with.
    int Run(IDatabase& database, int commandTimeoutSeconds = 60) {
        IniSettingsStore settings;
        UpgradeContext context{view, state, log, programFolder_, "Tarvik"};
        try {
            RunDatabaseUpgrade(context, DatabasePhaseDeps{database, settings, commandTimeoutSeconds});
        } catch (const ProgramEnded& ended) {
            return ended.exitCode;
        }
    }

    std::string LogText() const { return TempFolder::Read(root_.path() / "Tarvik" / "Tarvik_Upg.log"); }
    std::string LogPath() const { return programFolder_ + "/Tarvik_Upg.log"; }

    // The texts one control received, in order.
    std::vector<std::string> TextsOf(Control c) const {
        std::vector<std::string> texts;
        for (const auto& [control, text] : view.textHistory) {
            if (control == c) texts.push_back(text);
        }
        return texts;
    }

    ScriptedView view;
    WindowState state;

private:
    TempFolder root_{"velmora-db"};
    std::string programFolder_ = (root_.path() / "Tarvik").string();
    std::optional<std::string> oldXdg_;
    bool made_ = false;

public:
    RunLog log{programFolder_ + "/Tarvik_Upg.log"};
};
