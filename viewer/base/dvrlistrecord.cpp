#include "viewer/base/dvrlistrecord.h"

#include "platform/endian.h"

#include <cstring>

namespace strandel {

DvrListRecord DvrListRecord::Read(const uint8_t *p)
{
    DvrListRecord r;
    r.kind = p[0];
    r.serialPort = p[1];
    std::memcpy(r.ip.data(), p + 2, 4);
    std::memcpy(r.mac.data(), p + 6, 6);
    r.driveNumber = p[12];
    r.useIpServer = p[13];
    r.port = int32_t(GetLe32(p + 14));
    r.baudRate = int32_t(GetLe32(p + 18));
    std::memcpy(r.user.data(), p + 22, 17);
    std::memcpy(r.password.data(), p + 39, 17);
    std::memcpy(r.name.data(), p + 56, 32);
    std::memcpy(r.description.data(), p + 88, 128);
    std::memcpy(r.folder.data(), p + 216, 128);
    return r;
}

void DvrListRecord::Write(uint8_t *p) const
{
    p[0] = kind;
    p[1] = serialPort;
    std::memcpy(p + 2, ip.data(), 4);
    std::memcpy(p + 6, mac.data(), 6);
    p[12] = driveNumber;
    p[13] = useIpServer;
    PutLe32(p + 14, uint32_t(port));
    PutLe32(p + 18, uint32_t(baudRate));
    std::memcpy(p + 22, user.data(), 17);
    std::memcpy(p + 39, password.data(), 17);
    std::memcpy(p + 56, name.data(), 32);
    std::memcpy(p + 88, description.data(), 128);
    std::memcpy(p + 216, folder.data(), 128);
}

} // namespace strandel
