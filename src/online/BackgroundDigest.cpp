#include "online/BackgroundDigest.h"

#include <algorithm>

namespace {

constexpr std::size_t kBlockSize = 256 * 1024;
constexpr std::size_t kMostWaitingBlocks = 8;

}  // namespace

BackgroundDigest::BackgroundDigest(std::unique_ptr<ISha256> sha) : sha_(std::move(sha)) {
    block_ = EmptyBlock();
    worker_ = std::thread([this] { Work(); });
}

BackgroundDigest::~BackgroundDigest() {
    if (!worker_.joinable()) return;  // Finish has waited for it
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        waiting_.clear();  // a run that failed does not wait for its digest
    }
    changed_.notify_all();
    worker_.join();
}

void BackgroundDigest::Add(const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t piece = std::min(size, kBlockSize - block_.size());
        block_.append(data, piece);
        data += piece;
        size -= piece;
        if (block_.size() == kBlockSize) {
            Hand(std::move(block_));
            block_ = EmptyBlock();
        }
    }
}

std::string BackgroundDigest::EmptyBlock() {
    std::string block;
    {
        std::lock_guard lock(mutex_);
        if (!spare_.empty()) {
            block = std::move(spare_.front());
            spare_.pop_front();
        }
    }
    block.clear();
    block.reserve(kBlockSize);
    return block;
}

void BackgroundDigest::Hand(std::string block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kMostWaitingBlocks || stopped_; });
    if (stopped_) return;  // the hashing failed; Finish raises why
    waiting_.push_back(std::move(block));
    lock.unlock();
    changed_.notify_all();
}

Sha256Digest BackgroundDigest::Finish() {
    if (!block_.empty()) Hand(std::move(block_));
    block_.clear();
    {
        std::unique_lock lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    worker_.join();
    if (failure_) std::rethrow_exception(failure_);
    return sha_->Finish();
}

void BackgroundDigest::Work() {
    try {
        for (;;) {
            std::string block;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !waiting_.empty() || ending_; });
                if (waiting_.empty()) break;
                block = std::move(waiting_.front());
                waiting_.pop_front();
            }
            changed_.notify_all();
            sha_->Add(block.data(), block.size());
            std::lock_guard lock(mutex_);
            spare_.push_back(std::move(block));
        }
    } catch (...) {
        failure_ = std::current_exception();
    }
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}
