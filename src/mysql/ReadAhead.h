#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace tharvel {

class PacketChannel;

// Reads the rows of one open result on a thread of its own, so that the socket, the
// packet framing and the inflating of compressed frames overlap with what the caller
// does with the rows. The packets go into a small ring of buffers: the receiver waits
// while the ring is full, so memory stays a few MiB whatever the table's size (plus,
// for packets larger than a buffer, the one being read and the one handed over).
//
// While the receiver runs, nothing else may touch the connection; stop() (also run by
// the destructor) ends it at a packet boundary and joins it.
class ReadAhead {
public:
    static constexpr size_t kBufferSize = 1 << 20;
    static constexpr size_t kBuffers = 4;

    // columns: of the result's rows, which the receiver checks as it reads them, so that
    // it stops after a malformed row as a direct read does.
    ReadAhead(PacketChannel& net, size_t columns);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Whether a payload is the result's end marker rather than a row.
    static bool isEndMarker(std::span<const uint8_t> packet) {
        return packet.size() <= 8 && !packet.empty() && packet[0] == 254;
    }

    // The next payload, valid until the next call: rows, then the end marker. The
    // receiver's failure is raised here, after the rows read before it.
    std::span<const uint8_t> next();

    // Ends the receiver and joins it. Then finished() tells whether it had read the
    // end marker or failed (the connection is past the result), and endMarker() holds
    // that marker (empty after a failure).
    void stop();
    bool finished() const { return finished_; }
    const std::vector<uint8_t>& endMarker() const { return endMarker_; }

private:
    struct Buffer {
        std::unique_ptr<uint8_t[]> data;
        size_t capacity = 0;
        size_t size = 0;  // bytes filled: records of a length and a payload
        size_t read = 0;  // consumer's position
        void clear() { size = read = 0; }
    };
    void receive();
    std::unique_ptr<Buffer> takeFree();

    PacketChannel& net_;
    size_t columns_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Buffer>> full_;   // receiver to consumer, in order
    std::vector<std::unique_ptr<Buffer>> free_;  // consumer back to receiver
    size_t allocated_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungry_{false};  // the consumer waits: hand over what there is
    bool done_ = false;                // the receiver has pushed its last buffer
    std::exception_ptr error_;
    std::unique_ptr<Buffer> current_;  // the consumer's
    std::vector<uint8_t> endMarker_;
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace tharvel
