#include "transcript.h"

namespace strandel::sim {

Transcript::~Transcript()
{
    if (file_)
        std::fclose(file_);
}

bool Transcript::Open(const std::string &path)
{
    std::lock_guard l(mutex_);
    if (file_)
        std::fclose(file_);
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void Transcript::Packet(bool sent, const std::string &link, uint8_t cmd, uint8_t flag, const uint8_t *data,
                        size_t length)
{
    if (!file_)
        return;
    static const char kHex[] = "0123456789abcdef";
    char head[80];
    std::snprintf(head, sizeof head, "%s %s cmd=%u flag=%02x len=%zu ", sent ? "TX" : "RX", link.c_str(), cmd, flag,
                  length);
    std::string line = head;
    line.reserve(line.size() + 2 * length + 1);
    for (size_t i = 0; i < length; ++i) {
        line += kHex[data[i] >> 4];
        line += kHex[data[i] & 15];
    }
    Write(line);
}

void Transcript::Event(const std::string &link, const std::string &text)
{
    if (file_)
        Write("EV " + link + " " + text);
}

void Transcript::Write(const std::string &line)
{
    std::lock_guard l(mutex_);
    if (!file_)
        return;
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

} // namespace strandel::sim
