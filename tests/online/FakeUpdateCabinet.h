#pragma once

#include <functional>
#include <string>
#include <vector>

#include "online/IUpdateCabinet.h"

// A cabinet object for tests of the phase's own logic: reports a set file count and result.
struct FakeCabinetScript {
    std::int32_t fileCount = 5;
    bool extractResult = true;
    std::vector<std::string> calls;  // "CabName <path>", "FileCount", "Extract"
    std::function<void(const std::string&)> onWork;  // told "FileCount" and "Extract" as made
};

class FakeUpdateCabinet : public IUpdateCabinet {
public:
    explicit FakeUpdateCabinet(FakeCabinetScript& script) : script_(script) {}
    void SetCabName(const std::string& path) override { script_.calls.push_back("CabName " + path); }
    std::int32_t FileCount() override {
        script_.calls.push_back("FileCount");
        if (script_.onWork) script_.onWork("FileCount");
        return script_.fileCount;
    }
    bool Extract() override {
        script_.calls.push_back("Extract");
        if (script_.onWork) script_.onWork("Extract");
        return script_.extractResult;
    }

private:
    FakeCabinetScript& script_;
};
