#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/IInternet.h"

enum class HandleKind { Session, Connection, Search, File };

// The handles an internet back-end has handed out: a session, connections on it, then searches
// and files on a connection, each with the back-end's own node. A search is the table's alone:
// its listing is read whole when it starts and handed over a record at a time. A handle is
// closed once: closing it closes what was opened on it first, as the interface promises, and a
// second close of the same handle finds nothing.
template <class Node>
class HandleTable {
public:
    InternetHandle Add(HandleKind kind, InternetHandle parent, Node node) {
        const InternetHandle handle = next_++;
        entries_.emplace(handle, Entry{kind, parent, std::move(node), {}, 0});
        return handle;
    }

    // The node of an open handle of that kind; otherwise nullptr, with the reason in `error`.
    Node* Find(InternetHandle handle, HandleKind kind, std::string& error) {
        const auto it = entries_.find(handle);
        if (it == entries_.end()) {
            error = "invalid handle";
            return nullptr;
        }
        if (it->second.kind != kind) {
            error = "wrong kind of handle";
            return nullptr;
        }
        return &it->second.node;
    }

    // A search over the matching entries of a listing: fills `first` and returns the search's
    // handle, or kNoHandle when nothing matched (saying so in `error`).
    InternetHandle AddSearch(InternetHandle connection, std::vector<FindRecord> records,
                             const std::string& mask, FindRecord& first, std::string& error) {
        if (records.empty()) {
            error = "no file matches " + mask;
            return kNoHandle;
        }
        first = records[0];
        const InternetHandle handle = Add(HandleKind::Search, connection, Node{});
        entries_.at(handle).records = std::move(records);
        entries_.at(handle).next = 1;
        return handle;
    }

    // The search's next record, while there is one.
    bool NextRecord(InternetHandle search, FindRecord& record, std::string& error) {
        if (!Find(search, HandleKind::Search, error)) return false;
        Entry& entry = entries_.at(search);
        if (entry.next >= entry.records.size()) return false;
        record = entry.records[entry.next++];
        return true;
    }

    // The handle that one was opened on (kNoHandle for a session or a closed handle).
    InternetHandle Parent(InternetHandle handle) const {
        const auto it = entries_.find(handle);
        return it == entries_.end() ? kNoHandle : it->second.parent;
    }

    // Releases nothing beyond the node itself, which ends with its handle.
    struct NothingElse {
        void operator()(Node&) const {}
    };

    // Closes the handle and what was opened on it, children first, each node handed to
    // `release` before it goes; "invalid handle" in `error` when it is not open.
    template <class Release = NothingElse>
    void Close(InternetHandle handle, std::string& error, Release release = {}) {
        if (entries_.find(handle) == entries_.end()) {
            error = "invalid handle";
            return;
        }
        std::vector<InternetHandle> children;
        for (const auto& [id, entry] : entries_) {
            if (entry.parent == handle) children.push_back(id);
        }
        for (InternetHandle child : children) Close(child, error, release);
        const auto it = entries_.find(handle);
        release(it->second.node);
        entries_.erase(it);
    }

    // Closes every handle. The numbers grow with the opening order, and nothing is opened on a
    // handle before the handle itself, so the last is always one without children.
    template <class Release = NothingElse>
    void CloseAll(Release release = {}) {
        std::string ignored;
        while (!entries_.empty()) Close(entries_.rbegin()->first, ignored, release);
    }

    std::size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        HandleKind kind;
        InternetHandle parent;
        Node node;
        std::vector<FindRecord> records;  // a search's matching entries
        std::size_t next = 0;             // the next record it hands over
    };

    std::map<InternetHandle, Entry> entries_;
    InternetHandle next_ = 1;
};
