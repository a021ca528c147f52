#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "online/FakeUpdateCabinet.h"
#include "support/FtpServerProcess.h"
#include "online/OnlineUpdate.h"
#include "online/FullDiskFileSystem.h"
#include "online/RecordingInternet.h"
#include "platform/curl/CurlInternet.h"
#include "platform/stdfs/StdFileSystem.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"

// A program folder, an FTP root served on loopback, the scripted window and the phase wired to
// libcurl, the real file system and a cabinet object of the test's choice.
class OnlineFixture : public ::testing::Test {
protected:
    // Short time-outs: the fault tests wait for them.
    static constexpr CurlTimeouts kTestTimeouts{2, 2, 2, 3};

    OnlineFixture()
        : log_((program_.path() / "Tarvik_Upg.log").string()),
          context_{view_, state_, log_, program_.str(), "prog"},
          curl_(kTestTimeouts),
          net_(curl_) {
        std::filesystem::create_directories(root_.path());
        program_.Write("Tarvik.exe", "MZ program");
        makeCabinet = [this] { return std::make_unique<FakeUpdateCabinet>(cabinet); };
    }

    // A file of `size` bytes on the server; the bytes follow a pattern that shows misplaced data.
    std::string Offer(const std::string& name, std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
        root_.Write(name, bytes);
        return bytes;
    }
    void OfferFolder(const std::string& name) {
        std::filesystem::create_directories(root_.path() / name);
    }

    void StartServer(std::vector<std::string> options = {}) {
        server_ = std::make_unique<FtpServerProcess>(root_.str(), (log_dir_.path() / "ftp.log").string(),
                                                     options);
        port_ = server_->port();
    }

    bool Run(const std::string& programVersion = "3.1.5") {
        state_.programVersion = programVersion;
        OnlineUpdateServices services{net_, files_, makeCabinet, {"127.0.0.1", port_}};
        const bool result = RunOnlineUpdate(context_, services);
        // Every run, whatever its end, leaves no handle open and releases the dial-up.
        EXPECT_TRUE(net_.EveryHandleClosedOnce());
        EXPECT_EQ(curl_.OpenHandles(), 0u);
        EXPECT_TRUE(net_.HungUp());
        EXPECT_FALSE(state_.busy);
        EXPECT_FALSE(state_.cancelRequested);
        return result;
    }

    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& m : view_.messages) texts.push_back(m.text);
        return texts;
    }
    std::vector<std::string> Commands() const { return server_ ? server_->Commands() : std::vector<std::string>{}; }
    bool InProgram(const std::string& name) const {
        return std::filesystem::exists(program_.path() / name);
    }
    std::string ProgramFile(const std::string& name) const {
        return TempFolder::Read(program_.path() / name);
    }

    // The box sequence of a coded failure: the general box (unless told not to), then the code
    // box "number/description", both without a title of their own.
    void ExpectBoxes(bool general, const std::string& codeBox) const {
        std::vector<std::string> expected;
        if (general) expected.push_back("Desila se greška kod pristupa internetu !!");
        expected.push_back(codeBox);
        EXPECT_EQ(MessageTexts(), expected);
        for (const auto& m : view_.messages) EXPECT_FALSE(m.title.has_value()) << m.text;
        if (general && !view_.messages.empty()) {
            EXPECT_EQ(view_.messages.front().icon, MsgIcon::Error);
        }
        if (!view_.messages.empty()) {
            EXPECT_EQ(view_.messages.back().icon, MsgIcon::Warning);
        }
    }

    // The window after the phase, success or failure: the running log and counters gone.
    void ExpectDisplayReset() const {
        EXPECT_EQ(view_.Text(Control::TxtRez), "");
        EXPECT_FALSE(view_.Visible(Control::TxtRez));
        for (Control c : {Control::LblUkupno0, Control::LblUkupno1, Control::LblUkupno2,
                          Control::LblUkupno3}) {
            EXPECT_FALSE(view_.Visible(c));
        }
        EXPECT_EQ(view_.Text(Control::LblUkupno1), "0");
        EXPECT_EQ(view_.Text(Control::LblUkupno3), "0");
        ASSERT_FALSE(view_.cursors.empty());
        EXPECT_EQ(view_.cursors.back(), Cursor::Default);
    }

    // The running log's fullest text during the run (it is emptied at the end).
    std::string RunningLogText() const {
        std::string last;
        for (const auto& [control, text] : view_.textHistory) {
            if (control == Control::TxtRez && !text.empty()) last = text;
        }
        return last;
    }

    TempFolder program_{"velmora-online-program"};
    TempFolder root_{"velmora-online-ftp"};
    TempFolder log_dir_{"velmora-online-log"};
    ScriptedView view_;
    WindowState state_;
    RunLog log_;
    UpgradeContext context_;
    CurlInternet curl_;
    RecordingInternet net_;
    StdFileSystem realFiles_;
    FullDiskFileSystem files_;
    FakeCabinetScript cabinet;
    UpdateCabinetFactory makeCabinet;
    std::unique_ptr<FtpServerProcess> server_;
    int port_ = 0;
};
