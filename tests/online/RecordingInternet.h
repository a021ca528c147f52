#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/IInternet.h"

// Passes every call on to a real IInternet and records it, so that tests can check which
// handles were opened and that each was closed exactly once, in order. Can make Open fail.
class RecordingInternet : public IInternet {
public:
    explicit RecordingInternet(IInternet& inner) : inner_(inner) {}

    bool failOpen = false;
    // Rewrites each listing record the server delivered, to play a hostile server.
    std::function<void(FindRecord&)> editListing;
    // After the server's records, a folder record again and again: a listing without end.
    bool endlessFolders = false;
    std::vector<std::string> calls;          // "Open", "Connect", "Close connection", ...
    std::map<InternetHandle, std::string> kinds;  // what each handle was opened as
    std::map<InternetHandle, int> closes;         // how often each handle was closed
    int reads = 0;
    // Called with every call as it is made ("Open Velmora", "Read", "Close file"), so that a
    // test can look at the window or the disk at that moment.
    std::function<void(const std::string&)> onCall;

    bool EveryHandleClosedOnce() const {
        for (const auto& [handle, kind] : kinds) {
            const auto it = closes.find(handle);
            if (it == closes.end() || it->second != 1) return false;
        }
        return closes.size() == kinds.size();
    }
    // The kinds of the closed handles, in the order they were closed.
    std::vector<std::string> CloseOrder() const {
        std::vector<std::string> order;
        for (const auto& call : calls) {
            if (call.rfind("Close ", 0) == 0) order.push_back(call.substr(6));
        }
        return order;
    }
    bool HungUp() const { return std::find(calls.begin(), calls.end(), "Hangup") != calls.end(); }

    void Autodial() override { Record("Autodial"); inner_.Autodial(); }
    void AutodialHangup() override { Record("Hangup"); inner_.AutodialHangup(); }
    InternetHandle Open(const std::string& agent) override {
        Record("Open " + agent);
        if (failOpen) return kNoHandle;
        return Note(inner_.Open(agent), "internet");
    }
    InternetHandle Connect(InternetHandle internet, const std::string& server, int port,
                           const std::string& user, const std::string& password,
                           bool passive) override {
        Record("Connect " + user + (passive ? " passive" : " active"));
        return Note(inner_.Connect(internet, server, port, user, password, passive), "connection");
    }
    std::optional<std::string> GetCurrentDirectory(InternetHandle connection) override {
        Record("Pwd");
        return inner_.GetCurrentDirectory(connection);
    }
    InternetHandle FindFirst(InternetHandle connection, const std::string& mask,
                             FindRecord& record) override {
        Record("FindFirst " + mask);
        const InternetHandle search = inner_.FindFirst(connection, mask, record);
        if (search != kNoHandle && editListing) editListing(record);
        return Note(search, "search");
    }
    bool FindNext(InternetHandle search, FindRecord& record) override {
        const bool delivered = inner_.FindNext(search, record);
        if (delivered && editListing) editListing(record);
        if (!delivered && endlessFolders) {
            record = FindRecord{kFileAttributeDirectory, 0, "Tn_folder.cab"};
            return true;
        }
        return delivered;
    }
    InternetHandle OpenFile(InternetHandle connection, const std::string& name) override {
        Record("OpenFile " + name);
        return Note(inner_.OpenFile(connection, name), "file");
    }
    std::size_t Read(InternetHandle file, char* buffer, std::size_t size) override {
        ++reads;
        if (onCall) onCall("Read");
        return inner_.Read(file, buffer, size);
    }
    bool WaitReadable(InternetHandle file, std::size_t size,
                      std::chrono::milliseconds limit) override {
        return inner_.WaitReadable(file, size, limit);
    }
    void CloseHandle(InternetHandle handle) override {
        const auto it = kinds.find(handle);
        Record("Close " + (it == kinds.end() ? std::string("?") : it->second));
        ++closes[handle];
        inner_.CloseHandle(handle);
    }
    std::string LastError() const override { return inner_.LastError(); }

private:
    void Record(const std::string& call) {
        calls.push_back(call);
        if (onCall) onCall(call);
    }
    InternetHandle Note(InternetHandle handle, const std::string& kind) {
        if (handle != kNoHandle) kinds[handle] = kind;
        return handle;
    }
    IInternet& inner_;
};
