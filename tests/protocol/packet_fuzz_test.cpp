#include <gtest/gtest.h>

#include <random>

#include "packet_fuzz.h"

using namespace strandel::test;

namespace {

// Random packets biased towards well-formed ones, so the deeper paths are reached too.
std::vector<uint8_t> RandomSequence(std::mt19937 &rng)
{
    std::vector<uint8_t> out;
    const int packets = int(rng() % 200);
    auto put = [&out](const Packet &p) {
        out.push_back(p.header.cmd);
        out.push_back(p.header.flag);
        out.push_back(uint8_t(p.header.length));
        out.push_back(uint8_t(p.header.length >> 8));
        out.insert(out.end(), p.payload.begin(), p.payload.end());
    };
    for (int i = 0; i < packets; ++i) {
        if (rng() % 16 == 0) { // a whole record, sometimes cut short
            strandel::FrameRecordHeader h;
            h.frameId = uint8_t(rng());
            h.kind = uint8_t(rng() % 3);
            h.time = {20, 26, uint8_t(rng() % 14), 10, 13, 14, 15};
            const std::vector<uint8_t> parts[3] = {std::vector<uint8_t>(rng() % 3000, 1),
                                                   std::vector<uint8_t>(rng() % 50, 2), {}};
            for (int p = 0; p < 3; ++p)
                h.partSize[p] = uint32_t(parts[p].size());
            auto record = RecordPackets(h, parts);
            record.resize(record.size() - (rng() % 4 == 0 ? 1 : 0));
            for (const auto &p : record)
                put(p);
            continue;
        }
        if (rng() % 16 == 0) { // a whole segmented reply
            for (const auto &p : SegmentedReply(uint8_t(rng() % 40), std::vector<uint8_t>(rng() % 12000, 3)))
                put(p);
            continue;
        }
        const uint8_t flags[] = {0x00, 0x01, 0x02, 0x03, 0x07, 0x20, 0x21, 0x22, 0x40, 0x41, 0x42, 0x80, 0xA0, 0xC0};
        const uint8_t cmd = rng() % 3 == 0 ? uint8_t(strandel::DvrCmdRecord) : uint8_t(rng());
        const uint8_t flag = rng() % 4 == 0 ? uint8_t(rng()) : flags[rng() % sizeof flags];
        const size_t sizes[] = {0, 1, 2, 4, 5, 8, 9, 16, 20, 128, 394, 927, 1024};
        const size_t length = rng() % 5 == 0 ? rng() % 1025 : sizes[rng() % (sizeof sizes / sizeof sizes[0])];
        out.push_back(cmd);
        out.push_back(flag);
        out.push_back(uint8_t(length));
        out.push_back(uint8_t(length >> 8));
        for (size_t k = 0; k < length; ++k)
            out.push_back(uint8_t(rng() % 4 == 0 ? rng() : rng() % 3));
    }
    return out;
}

} // namespace

TEST(PacketFuzz, RandomSequencesAreHandledSafely)
{
    std::mt19937 rng(20261210);
    for (int i = 0; i < 300; ++i) {
        const auto bytes = RandomSequence(rng);
        EXPECT_TRUE(FeedPacketBytes(bytes.data(), bytes.size())) << "sequence " << i;
    }
}
