#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tharvel {

// A byte channel to the server, with a buffered read and a write with retries on top
// of the transport's raw operations.
class Transport {
public:
    virtual ~Transport() = default;

    virtual int timeout() const = 0;
    virtual void setTimeout(int seconds) = 0;
    // One raw read of at most count bytes; 0 on failure or end of stream.
    virtual size_t readSome(uint8_t* dest, size_t count) = 0;
    // One raw write; 0 on failure.
    virtual size_t writeSome(const uint8_t* src, size_t count) = 0;
    // The base empties the read buffer; transports then open the channel.
    virtual void connect();
    virtual void close() = 0;
    // Delivers count bytes unless the channel fails; returns how many were delivered.
    virtual size_t read(uint8_t* dest, size_t count);
    // Writes count bytes, retrying a failed raw write twice; returns how many were written.
    virtual size_t write(const uint8_t* src, size_t count);

    // The operating system's descriptor of the channel, -1 when it has none.
    virtual int handle() const { return -1; }

    // Bytes received and not yet read: a Read of at most this many does not wait.
    size_t buffered() const { return count_ - position_; }

    // Detail of the last failed raw operation; empty when the peer simply closed.
    const std::string& lastError() const { return lastError_; }

protected:
    std::string lastError_;

private:
    static constexpr size_t kBufferSize = 65536;
    static constexpr size_t kDirectRead = 2048;
    uint8_t buffer_[kBufferSize];
    size_t count_ = 0;
    size_t position_ = 0;
};

}  // namespace tharvel
