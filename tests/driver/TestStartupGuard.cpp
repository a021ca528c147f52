// The window programs' start-up guard: whatever escapes the program's run is logged, shown in
// a box and ends the program with status 1; a normal run passes its status through untouched.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/AppError.h"
#include "run/ExitStatus.h"
#include "run/RunLog.h"
#include "driver/StartupGuard.h"
#include "support/TempFolder.h"

namespace {

struct Failure {
    const char* name;
    std::function<int()> program;
    std::string description;
};

TEST(StartupGuard, WhatEscapesTheProgramIsLoggedShownAndEndsItWithStatusOne) {
    const std::vector<Failure> failures = {
        {"AppError", []() -> int { throw AppError(1400, "FrmGlavna", "cannot create the main window"); },
         "1400/cannot create the main window"},
        {"standard exception", []() -> int { throw std::runtime_error("out of memory"); },
         "out of memory"},
        {"anything else", []() -> int { throw 42; }, "nepoznata greška"},
    };
    for (const Failure& failure : failures) {
        TempFolder folder;
        const auto path = folder.path() / "Tarvik_Upg.log";
        RunLog log(path.string());
        std::vector<std::string> boxes;
        const int status = RunGuarded(log, failure.program,
                                      [&](const std::string& text) { boxes.push_back(text); });
        EXPECT_EQ(status, exit_status::kError) << failure.name;
        ASSERT_EQ(boxes.size(), 1u) << failure.name;
        EXPECT_EQ(boxes[0], "Program je zaustavljen zbog greške:\r\n" + failure.description);
        const std::string text = TempFolder::Read(path);
        EXPECT_NE(text.find("\tfailure\tthe window program failed: " + failure.description),
                  std::string::npos) << text;
        EXPECT_NE(text.find("\tend\texit status 1\n"), std::string::npos) << text;
    }
}

TEST(StartupGuard, ABoxThatCannotBeShownStillEndsWithStatusOne) {
    TempFolder folder;
    const auto path = folder.path() / "Tarvik_Upg.log";
    RunLog log(path.string());
    const int status = RunGuarded(
        log, []() -> int { throw std::runtime_error("no window"); },
        [](const std::string&) { throw std::runtime_error("no desktop"); });
    EXPECT_EQ(status, exit_status::kError);
    const std::string text = TempFolder::Read(path);
    EXPECT_NE(text.find("the window program failed: no window"), std::string::npos) << text;
    EXPECT_NE(text.find("\tend\texit status 1\n"), std::string::npos) << text;
}

TEST(StartupGuard, ANormalRunKeepsItsStatusAndShowsNoBox) {
    RunLog log;
    int boxes = 0;
    for (int code : {0, 2, 3}) {
        EXPECT_EQ(RunGuarded(log, [code] { return code; }, [&](const std::string&) { ++boxes; }),
                  code);
    }
    EXPECT_EQ(boxes, 0);
}

}  // namespace
