#pragma once

// The program folder of the installation tests: a real folder with an old program, a cabinet
// object over libmspack and the real file system, and what the user and the run log would see.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cabinet/CabFile.h"
#include "cabinet/CabinetTestSupport.h"
#include "platform/IFileSystem.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "platform/stdfs/StdFileSystem.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"

inline constexpr const char* kBox = "Greška kod raspakiravanja skinute datoteke !!";

class InstallUnitFixture : public ::testing::Test {
protected:
    InstallUnitFixture() : prog(temp.path() / "Prog") {
        temp.Write("Prog/Tarvik.exe", "MZ old program");
        temp.Write("Prog/Tarvik_Upg.Upg", "[Verzija]\r\n3.1.4 / 3.1.5\r\n*\r\n");
        temp.Write("Prog/Izvjestaji/racun.rpt", "old report");
        temp.Write("Prog/baza.ini", "not in the cabinet");
    }

    // A full upgrade: two files replaced, one added in a new folder; the last file is large so
    // that damage at the cabinet's end lands in it alone.
    std::string MakeUpgradeCabinet(const std::string& name = "Tn_315_316.cab") {
        return cabtest::MakeGcabCabinet(
            sources, (prog / name).string(),
            {{"Tarvik.exe", "MZ new program"},
             {"Izvjestaji/racun.rpt", "new report"},
             {"Slike/logo.bmp", std::string(60000, 'L')}},
            true);
    }

    // A committed cabinet, copied into the program folder as the download would be.
    std::string PlaceFixture(const std::string& fixture, const std::string& name = "Tn_315_316.cab") {
        const std::filesystem::path cabinet = prog / name;
        std::filesystem::copy_file(cabtest::Fixture(fixture), cabinet,
                                   std::filesystem::copy_options::overwrite_existing);
        return cabinet.string();
    }

    bool Install(const std::string& cabinet, IFileSystem& files, const std::string& label = "3.1.5") {
        CabFile cab(view, iterator, files);
        cab.SetCabName(cabinet);
        cab.SetBackupLabel(label);
        cab.InstallStep = [this](const std::string& line) { notes.push_back(line); };
        return cab.Extract("", "", "");
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& m : view.messages) texts.push_back(m.text);
        return texts;
    }

    bool Noted(const std::string& part) const {
        for (const auto& line : notes)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    TempFolder temp{"velmora-install"};
    TempFolder sources{"velmora-install-src"};
    std::filesystem::path prog;
    ScriptedView view;
    MspackCabinetIterator iterator;
    StdFileSystem realFiles;
    std::vector<std::string> notes;
};

