#pragma once
// A line per packet received or sent, and per connection event, so tests can assert on the
// bytes that crossed the wire:
//   RX tcp1 cmd=1 flag=00 len=16 61646d696e000000...
//   TX pty cmd=3 flag=40 len=1024 000001d0...
//   EV tcp1 fault bad-crc
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace strandel::sim {

class Transcript {
public:
    Transcript() = default;
    ~Transcript();
    Transcript(const Transcript &) = delete;
    Transcript &operator=(const Transcript &) = delete;

    bool Open(const std::string &path);
    bool IsOpen() const { return file_ != nullptr; }
    void Packet(bool sent, const std::string &link, uint8_t cmd, uint8_t flag, const uint8_t *data, size_t length);
    void Event(const std::string &link, const std::string &text);

private:
    void Write(const std::string &line);
    std::mutex mutex_;
    std::FILE *file_ = nullptr;
};

} // namespace strandel::sim
