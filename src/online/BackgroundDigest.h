#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/IUpdateCrypto.h"

// A SHA-256 computed on a thread of its own while the bytes are still arriving: the download
// hands over each piece as it writes it, and the digest is ready almost as soon as the last
// piece is in. Hashing 64 MiB takes about as long as downloading them on loopback, so done
// afterwards it would nearly double the phase.
//
// Pieces are gathered into blocks; at most a few blocks wait, so memory stays small whatever
// the file's size (the download waits when the hashing falls behind). Hashed blocks come back
// to be filled again: fresh memory for every block would cost the download a page fault per
// 4 KiB, more than the copy into the block itself.
class BackgroundDigest {
public:
    explicit BackgroundDigest(std::unique_ptr<ISha256> sha);
    ~BackgroundDigest();
    BackgroundDigest(const BackgroundDigest&) = delete;
    BackgroundDigest& operator=(const BackgroundDigest&) = delete;

    void Add(const char* data, std::size_t size);
    // Waits for every piece to be hashed; raises what the hashing raised.
    Sha256Digest Finish();

private:
    void Work();
    void Hand(std::string block);
    // An empty block with room for a whole one, reused when one has been hashed.
    std::string EmptyBlock();

    std::unique_ptr<ISha256> sha_;
    std::string block_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> waiting_;
    std::deque<std::string> spare_;  // hashed blocks, to be filled again
    bool ending_ = false;
    bool stopped_ = false;  // the worker has left (finished or failed)
    std::exception_ptr failure_;
    std::thread worker_;
};
