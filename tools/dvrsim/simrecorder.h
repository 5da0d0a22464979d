#pragma once
// What the simulated recorder keeps, shared by every connection: its configuration record,
// title bitmaps, disks with one recorded span, the event, block and log lists, and what the
// last firmware upload brought. The replies to the administration and search commands are
// built here; a session only frames and sends them.
#include "viewer/protocol/dvrcommand.h"
#include "viewer/protocol/dvrenvrecord.h"
#include "viewer/base/global.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace strandel::sim {

struct SimOptions;

// Offsets inside the configuration record that the status report is read from.
namespace env {
constexpr int kIp = 7522;                            // 12 digits, 4 octets x 3
constexpr int kSubnet = 7534;
constexpr int kGateway = 7546;
constexpr int kDns = 7558;
constexpr int kPort = kEnvPortOffset;                // 4 digits
constexpr int kVideo = 7674;                         // 0 PAL, 1 NTSC, 2 AUTO
constexpr int kRepeat = 5729;                        // OFF/ON
constexpr int kBayMode = 7472;                       // 5 bays: REC/BACKUP
} // namespace env

// One recorded span on the simulated disks; positions are whole seconds from its start.
struct RecordedSpan {
    RecorderTime start{};
    uint32_t seconds = 0;
    RecorderTime At(uint32_t second) const;
    // Seconds from the start to t, or -1 when t lies outside the span. An unset time (century
    // 0xFF) means the start.
    int64_t Offset(const RecorderTime &t) const;
};

// Seconds since 1970-01-01 of a time, and whether its fields make a date of 1900-2099.
int64_t RecorderSeconds(const RecorderTime &t);
bool ValidRecorderTime(const RecorderTime &t);
// The model tag of a firmware image for recorders of a model code: one for every model but 0.
const char *FirmwareTagFor(uint8_t model);
// A firmware image a recorder of that model takes: filler data, the model tag in the 16 bytes
// from 20 before the end, the CRC-32 of all before it in the last 4 (little-endian). At least
// 20 bytes.
std::vector<uint8_t> MakeFirmwareImage(uint8_t model, size_t size);
constexpr size_t kMinFirmwareSize = 20;

// Adds seconds to a time (calendar-correct, years 1900-2099).
RecorderTime AddSeconds(const RecorderTime &t, int64_t seconds);
RecorderTime NowRecorderTime();

class SimRecorder {
public:
    explicit SimRecorder(const SimOptions &options);

    // Loads the configuration record from a file of exactly 9638 bytes.
    bool LoadEnv(const std::string &path, std::string &error);

    const std::vector<uint8_t> &Env() const { return env_; }
    // The record variant a fetch answers with (the model code of a reply 35); 0 for reply 11.
    int Variant() const { return variant_; }
    const std::vector<uint8_t> &Titles() const { return titles_; }
    const RecordedSpan &Span() const { return span_; }
    int Channels() const { return channels_; }
    bool Ntsc() const { return ntsc_; }

    // Uploads that arrived whole: true when the record had its exact size and was taken.
    bool StoreEnv(const std::vector<uint8_t> &record);
    bool StoreTitles(const std::vector<uint8_t> &bitmaps);
    // The set-up password against the master password of the record.
    bool CheckSetupPassword(const uint8_t *p, size_t length) const;

    std::vector<uint8_t> Status() const;
    std::vector<uint8_t> DiskMap() const;
    // The disk header of a disk area, or empty when the area holds nothing.
    std::vector<uint8_t> DiskIndex(uint8_t diskCode) const;
    // Matching entries after the time, at most kPageSize. The dialogs open with a search time
    // of century 0xFF: that lists from the first entry.
    std::vector<std::vector<uint8_t>> EventSearch(uint8_t diskCode, uint8_t channel, uint8_t mask,
                                                  const RecorderTime &from) const;
    std::vector<std::vector<uint8_t>> BlockSearch(uint8_t diskCode, const RecorderTime &from) const;
    std::vector<std::vector<uint8_t>> LogSearch(const RecorderTime &from) const;
    std::vector<uint8_t> LogDownload() const;
    void AddLog(uint8_t code, const RecorderTime &time);
    // Recorder control words (command 28), the whole 16-bit word.
    void Control(uint16_t word);

    // The firmware image accepted by the last upgrade, and how many were flashed.
    // Audio: the blocks pushed to viewers (looping) and what viewers sent, in arrival order.
    void SetAudioBlocks(std::vector<uint8_t> blocks) { audioOut_ = std::move(blocks); }
    const std::vector<uint8_t> &AudioBlocks() const { return audioOut_; }
    void AddReceivedAudio(const uint8_t *block, size_t length);
    const std::vector<uint8_t> &ReceivedAudio() const { return audioIn_; }
    uint64_t AudioBlocksReceived() const { return audioBlocksIn_; }
    uint64_t AudioBlocksPushed() const { return audioBlocksOut_; }
    void CountAudioPushed() { ++audioBlocksOut_; }

    const std::vector<uint8_t> &Firmware() const { return firmware_; }
    int FlashCount() const { return flashCount_; }
    void Flash(std::vector<uint8_t> image);
    // The tag a firmware image for this recorder must carry.
    const char *FirmwareTag() const { return FirmwareTagFor(model_); }

    uint16_t Port() const { return port_; }

    static constexpr int kPageSize = 20;

private:
    void BuildDefaultTitles();
    bool DiskPresent(uint8_t diskCode) const;

    int channels_;
    bool ntsc_;
    uint8_t model_;
    int variant_;
    uint16_t port_;
    std::array<uint8_t, 6> mac_;
    RecordedSpan span_;
    std::vector<uint8_t> env_;
    std::vector<uint8_t> titles_;
    std::vector<std::vector<uint8_t>> events_; // 20-byte entries in time order
    std::vector<std::vector<uint8_t>> blocks_; // 18-byte entries in time order
    std::vector<std::vector<uint8_t>> log_;    // 9-byte entries in time order
    std::vector<uint8_t> firmware_;
    int flashCount_ = 0;
    std::vector<uint8_t> audioOut_;
    std::vector<uint8_t> audioIn_;
    uint64_t audioBlocksIn_ = 0;
    uint64_t audioBlocksOut_ = 0;
};

} // namespace strandel::sim
