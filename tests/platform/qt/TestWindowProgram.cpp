// The window program as a store runs it: copied into a prepared program folder and started on
// the test display (scripts/test runs ctest under Xvfb). The window is found, read and driven
// from outside with the X tools a user's desktop would use.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/FtpServerProcess.h"
#include "support/DisplayLock.h"
#include "support/PeFixture.h"
#include "support/TempFolder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kTitle = "Velmora - Podizanje više verzije - v3.0";

// Runs a shell command and returns what it printed, without the last line end.
std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// The program as a child process; killed and reaped if a test leaves it running.
class Child {
public:
    explicit Child(const fs::path& program) {
        const std::string path = program.string();
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = -1;
    }
    ~Child() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }

    // The exit status once the program has ended within `limit`; nothing while it runs.
    std::optional<int> WaitExit(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int raw = 0;
            if (waitpid(pid_, &raw, WNOHANG) == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            } else if (std::chrono::steady_clock::now() >= deadline) {
                break;
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

class WindowProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display (scripts/test gives one)";
        lock.emplace();
        if (Capture("command -v xdotool").empty()) GTEST_SKIP() << "xdotool missing";
        fs::create_directories(programFolder);
        fs::copy_file(fs::path(TEST_BINARY_DIR) / "velmora-upgrade",
                      programFolder / "velmora-upgrade");
        ASSERT_TRUE(MakePeExe((programFolder / "Tarvik.exe").string(), "3.0.0.12"));
        folder.Write("Tarvik/Tarvik_Upg.Upg", "[Verzija]\r\n3.0.12 / 3.0.13\r\n*\r\n");
        setenv("VELMORA_UPDATE_SERVER", UpdateServer().c_str(), 1);
        child.emplace(programFolder / "velmora-upgrade");
        ASSERT_GT(child->pid(), 0);
        window = Capture("timeout 20 xdotool search --sync --onlyvisible --pid " +
                         std::to_string(child->pid()) + " --name '^Velmora' | head -n 1");
        ASSERT_FALSE(window.empty()) << "the window did not appear";
    }

    // "&Dobro" must never reach the maker's server from a test: a closed local port instead.
    virtual std::string UpdateServer() { return "127.0.0.1:1"; }

    std::string RunLog() const { return TempFolder::Read(programFolder / "Tarvik_Upg.log"); }

    // Waits until the run log holds `text` (the program writes it as it goes).
    bool LogGets(const std::string& text, std::chrono::milliseconds limit = 5000ms) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (RunLog().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    // Asks the window to close as a window manager does; the program decides.
    void AskToClose() const {
        Capture(std::string("/usr/bin/python3 ") + TEST_SUPPORT_DIR + "/wm_close_window.py " +
                window);
    }

    void PressAltO() {
        // Keyboard focus to the window, then the keys through the X server like a keyboard's.
        Capture("xdotool windowfocus --sync " + window + " key alt+o");
    }

    // Held from before the program starts until it is gone; declared first for that.
    std::optional<DisplayLock> lock;
    TempFolder folder{"velmora-window"};
    fs::path programFolder = folder.path() / "Tarvik";
    std::optional<Child> child;
    std::string window;
};

TEST_F(WindowProgramTest, ShowsTheTitledFixedSizeWindowWithTheBackupWarning) {
    EXPECT_EQ(Capture("xdotool getwindowname " + window), kTitle);
    EXPECT_EQ(Capture("xprop -id " + window + " _NET_WM_NAME"),
              std::string("_NET_WM_NAME(UTF8_STRING) = \"") + kTitle + "\"");
    // 6210 x 3885 twips at the 96 dpi of the test display.
    const std::string geometry = Capture("xdotool getwindowgeometry " + window);
    EXPECT_NE(geometry.find("Geometry: 414x259"), std::string::npos) << geometry;
    // A window manager is told that the size is fixed: least and largest size are the same.
    const std::string hints = Capture("xprop -id " + window + " WM_NORMAL_HINTS");
    EXPECT_NE(hints.find("minimum size: 414 by 259"), std::string::npos) << hints;
    EXPECT_NE(hints.find("maximum size: 414 by 259"), std::string::npos) << hints;
    EXPECT_TRUE(LogGets("settings name \"Tarvik\"")) << RunLog();
}

TEST_F(WindowProgramTest, AltOEndsTheProgramAtOnceWithStatusZero) {
    PressAltO();
    EXPECT_EQ(child->WaitExit(5000ms), std::optional<int>(0));
    const std::string log = RunLog();
    EXPECT_NE(log.find("\tclose\tclosed by the user"), std::string::npos) << log;
    EXPECT_NE(log.find("\tend\texit status 0"), std::string::npos) << log;
}

TEST_F(WindowProgramTest, RefusesACloseRequestFromTheWindowManager) {
    AskToClose();
    ASSERT_TRUE(LogGets("\tclose\trefused a request to close the window")) << RunLog();
    EXPECT_EQ(child->WaitExit(300ms), std::nullopt) << "the program ended on a close request";
    EXPECT_EQ(Capture("xdotool search --onlyvisible --pid " + std::to_string(child->pid()) +
                      " --name '^Velmora' | head -n 1"),
              window);
    // The program itself still closes it.
    PressAltO();
    EXPECT_EQ(child->WaitExit(5000ms), std::optional<int>(0));
}

// "&Dobro" with the update server unreachable: the online phase shows its boxes, which carry no
// title of their own and so show the application's title, and the window is idle again.
TEST_F(WindowProgramTest, AFailedOnlinePhaseShowsItsBoxesUnderTheAppTitleAndReturnsToIdle) {
    Capture("timeout 5 xdotool windowfocus --sync " + window + " key alt+d");
    std::vector<std::string> titles;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string boxes = Capture("xdotool search --onlyvisible --pid " +
                                          std::to_string(child->pid()) + " --name . 2>/dev/null");
        bool boxShown = false;
        std::istringstream ids(boxes);
        for (std::string id; std::getline(ids, id);) {
            if (id == window) continue;
            const std::string title = Capture("xdotool getwindowname " + id + " 2>/dev/null");
            if (title.empty()) continue;  // gone meanwhile
            boxShown = true;
            titles.push_back(title);
            Capture("timeout 5 xdotool windowfocus --sync " + id + " key Return 2>/dev/null");
        }
        if (!boxShown && RunLog().find("online update ended without installing") !=
                             std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_FALSE(titles.empty()) << RunLog();
    for (const std::string& title : titles) EXPECT_EQ(title, "Tarvik_Upg");
    EXPECT_NE(RunLog().find("\tmessage\terror\t\t"), std::string::npos) << RunLog();
    // Idle again: Alt+O closes the window.
    PressAltO();
    EXPECT_EQ(child->WaitExit(5000ms), std::optional<int>(0)) << RunLog();
}

// The update server answers the login and then nothing: after "&Dobro" the online phase waits
// for it up to its time-outs, and the window's loop must go on serving meanwhile. Each close
// request (which the program refuses and notes in the run log) is a question the loop answers
// only while it runs.
class SilentServerWindowTest : public WindowProgramTest {
protected:
    void SetUp() override {
        server.emplace(serverFolder.path().string(), (serverFolder.path() / "ftp.log").string(),
                       std::vector<std::string>{"--silent-after-login"});
        WindowProgramTest::SetUp();
    }
    std::string UpdateServer() override { return "127.0.0.1:" + std::to_string(server->port()); }

    // Whether the server has seen the login and a command after it that it will never answer.
    bool WaitingAfterLogin() const {
        const std::vector<std::string> commands = server->Commands();
        const auto pass = std::find_if(commands.begin(), commands.end(), [](const auto& c) {
            return c.rfind("PASS", 0) == 0;
        });
        return pass != commands.end() && pass + 1 != commands.end();
    }

    std::size_t Refusals() const {
        const std::string log = RunLog();
        std::size_t count = 0;
        for (std::size_t at = log.find(kRefused); at != std::string::npos;
             at = log.find(kRefused, at + 1)) {
            ++count;
        }
        return count;
    }

    static constexpr const char* kRefused = "\tclose\trefused a request to close the window";
    TempFolder serverFolder{"velmora-silent-ftp"};
    std::optional<FtpServerProcess> server;
};

TEST_F(SilentServerWindowTest, TheWindowAnswersWhileTheOnlinePhaseWaitsForTheServer) {
    Capture("timeout 5 xdotool windowfocus --sync " + window + " key alt+d");
    const auto loggedIn = std::chrono::steady_clock::now() + 30s;
    while (!WaitingAfterLogin() && std::chrono::steady_clock::now() < loggedIn) {
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(WaitingAfterLogin()) << "the program never waited on the server";
    // Several seconds of questions, each answered within 2 s (a hung window answers none).
    for (std::size_t asked = 1; asked <= 8; ++asked) {
        AskToClose();
        const auto limit = std::chrono::steady_clock::now() + 2s;
        while (Refusals() < asked && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_EQ(Refusals(), asked) << "no answer to close request " << asked << "\n" << RunLog();
        std::this_thread::sleep_for(500ms);
    }
    EXPECT_EQ(child->WaitExit(0ms), std::nullopt) << "the program ended while it waited";
}

}  // namespace
