#include "mysql/ReadAhead.h"

#include <algorithm>
#include <cstring>

#include "mysql/MySqlError.h"
#include "mysql/PacketChannel.h"
#include "mysql/RowValues.h"

namespace tharvel {
namespace {

// Each record: the payload's length, then the payload.
constexpr size_t kPrefix = sizeof(size_t);
// A buffer goes over once less than this is left, so that rows of usual sizes never
// make it grow.
constexpr size_t kSlack = 64 << 10;

}  // namespace

ReadAhead::ReadAhead(PacketChannel& net, size_t columns) : net_(net), columns_(columns) {
    thread_ = std::thread([this] { receive(); });
}

ReadAhead::~ReadAhead() {
    stop();
}

void ReadAhead::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = done_;
}

std::unique_ptr<ReadAhead::Buffer> ReadAhead::takeFree() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || !free_.empty() || allocated_ < kBuffers; });
    if (stop_) return nullptr;
    if (!free_.empty()) {
        std::unique_ptr<Buffer> buffer = std::move(free_.back());
        free_.pop_back();
        return buffer;
    }
    ++allocated_;
    lock.unlock();
    auto buffer = std::make_unique<Buffer>();
    buffer->data = std::make_unique_for_overwrite<uint8_t[]>(kBufferSize);
    buffer->capacity = kBufferSize;
    return buffer;
}

void ReadAhead::receive() {
    struct Into : PacketChannel::Sink {
        Buffer* buffer = nullptr;
        uint8_t* reserve(size_t at, size_t n) override {
            Buffer& b = *buffer;
            if (at + n > b.capacity) {
                // One packet larger than the room left: this buffer grows for it and
                // shrinks again when it comes back.
                size_t capacity =
                    std::max(at + n, std::min(2 * b.capacity, at + n + PacketChannel::kMaxPacket));
                auto grown = std::make_unique_for_overwrite<uint8_t[]>(capacity);
                std::memcpy(grown.get(), b.data.get(), at);
                b.data = std::move(grown);
                b.capacity = capacity;
            }
            return b.data.get() + at;
        }
    } into;
    std::unique_ptr<Buffer> buffer;
    RowValues check(columns_);
    auto handOver = [&](bool last) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool oversized = buffer && buffer->capacity > kBufferSize;
        if (buffer && buffer->size) full_.push_back(std::move(buffer));
        buffer.reset();
        if (last) done_ = true;
        hungry_.store(false, std::memory_order_relaxed);
        changed_.notify_all();
        // One packet larger than a buffer is enough in the queue: the next waits until
        // the consumer has it, so huge values cost two of their size, never four.
        if (oversized && !last) changed_.wait(lock, [this] { return stop_ || full_.empty(); });
    };
    try {
        for (;;) {
            if (stop_.load(std::memory_order_relaxed)) return;
            if (!buffer) {
                buffer = takeFree();
                if (!buffer) return;
            }
            into.buffer = buffer.get();
            const size_t at = buffer->size;
            into.reserve(at, kPrefix);
            const size_t length = net_.readPacketInto(into, at + kPrefix);
            const std::span<const uint8_t> packet(buffer->data.get() + at + kPrefix, length);
            const bool end = isEndMarker(packet);
            // A row the caller could not decode ends the reading here, where a direct
            // read would have stopped; the caller gets the same error after the rows before.
            if (!end) check.decode(packet);
            std::memcpy(buffer->data.get() + at, &length, kPrefix);
            buffer->size = at + kPrefix + length;
            if (end) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    endMarker_.assign(buffer->data.get() + at + kPrefix, buffer->data.get() + buffer->size);
                }
                handOver(true);
                return;
            }
            // A waiting consumer gets what there is once the received bytes are used up,
            // not after every row: each hand-over to a waiting thread costs a wake-up.
            if (buffer->size + kSlack > buffer->capacity ||
                (hungry_.load(std::memory_order_relaxed) && !net_.hasBufferedInput()))
                handOver(false);
        }
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = std::current_exception();
        }
        handOver(true);
    }
}

std::span<const uint8_t> ReadAhead::next() {
    for (;;) {
        if (current_ && current_->read < current_->size) {
            Buffer& b = *current_;
            size_t length;
            std::memcpy(&length, b.data.get() + b.read, kPrefix);
            const uint8_t* payload = b.data.get() + b.read + kPrefix;
            b.read += kPrefix + length;
            return {payload, length};
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (current_) {
            current_->clear();
            if (current_->capacity > kBufferSize) {
                current_->data = std::make_unique_for_overwrite<uint8_t[]>(kBufferSize);
                current_->capacity = kBufferSize;
            }
            free_.push_back(std::move(current_));
            changed_.notify_all();
        }
        if (full_.empty() && !done_) {
            hungry_.store(true, std::memory_order_relaxed);
            changed_.wait(lock, [this] { return !full_.empty() || done_; });
        }
        if (!full_.empty()) {
            current_ = std::move(full_.front());
            full_.pop_front();
            if (current_->capacity > kBufferSize) changed_.notify_all();
            continue;
        }
        std::exception_ptr error = error_;
        lock.unlock();
        stop();
        if (error) std::rethrow_exception(error);
        // The receiver ends at the end marker, which the caller does not read past.
        throw MySqlError::malformed();
    }
}

}  // namespace tharvel
