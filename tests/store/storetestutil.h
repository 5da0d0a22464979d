#pragma once
// Records, times and disk images for the store tests.
#include "platform/endian.h"
#include "viewer/store/dvrstore.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace strandel::test {

using Time = std::array<uint8_t, kStoreTimeSize>;

// 2026/12/10 12:00:00 plus `seconds` (under a day).
Time TimeAt(int seconds);
int SecondsOf(const uint8_t *time);

struct TestRecord {
    uint8_t ch1 = 1, ch2 = 0;
    Time time{};
    std::vector<uint8_t> data; // the three parts back to back; all in part 0 unless split
    uint32_t part1 = 0, part2 = 0;
};

// Data of `size` bytes whose content tells record `id` apart; the first bytes are no marker.
std::vector<uint8_t> RecordData(int id, uint32_t size);
// 128-byte header of a record (sector count left for the writer unless `sectors` is given).
std::array<uint8_t, 128> RecordHeader(const TestRecord &r, uint32_t sectors = 0);

// A recorder disk in a sparse image file. Blocks are written in ring order; sub-block headers
// follow from the blocks when FinishSubBlocks runs.
class DiskImage {
public:
    DiskImage(const std::string &path, uint32_t totalSectors);

    uint8_t *Header() { return header_.data(); }
    uint32_t BlockLba(int b) const;
    // Writes block b; every record gets the next free sectors of the block. Returns the
    // record LBAs in order.
    std::vector<uint32_t> WriteBlock(int b, const std::vector<std::vector<TestRecord>> &units);
    void FinishSubBlocks();
    void WriteEvent(int slot, uint8_t channel, uint8_t events, const Time &time, int block, uint8_t unit,
                    uint8_t record, uint32_t sequence);
    // Seals the disk header (CRC) at LBA 10 and 11.
    void WriteHeader(bool goodAt10 = true, bool goodAt11 = true);
    // Raw access for hostile cases: `seal` recomputes the CRC in the last 4 bytes.
    void WriteAt(uint64_t lba, const uint8_t *p, size_t n, bool seal);
    std::vector<uint8_t> ReadAt(uint64_t lba, size_t n) const;

    const std::string &Path() const { return path_; }

private:
    struct SubBlock {
        bool used = false;
        uint16_t mask = 0;
        uint32_t playLba = 0;
        Time start{};
        std::array<Time, 17> last{};
    };
    std::string path_;
    DiskHeaderBuffer header_{};
    std::vector<SubBlock> subBlocks_;
};

void SealCrc(uint8_t *p, size_t n);

} // namespace strandel::test
