#pragma once
// A link that keeps what a view sends through it, one vector per packet: the command, then the
// payload.
#include "viewer/link/dvrlink.h"

#include <cstdint>
#include <vector>

namespace strandel {

class RecordingLink : public CDvrBase {
public:
    explicit RecordingLink(bool local = false) : CDvrBase(nullptr, local) {}
    bool Send(uint8_t cmd, uint8_t, const uint8_t *data, int length) override
    {
        std::vector<uint8_t> v{cmd};
        if (data && length > 0)
            v.insert(v.end(), data, data + length);
        sent.push_back(v);
        return true;
    }
    std::vector<std::vector<uint8_t>> sent;
};

} // namespace strandel
