#pragma once
// Where the simulator's pictures come from, and how a picture becomes part 0 of a video record.
// A source is a timeline per channel that repeats: record k of a channel falls at TimeOf(k)
// milliseconds from the source's start, counting k over every pass. Live view takes the records
// one after the other as their times come; playback and copy take the record that shows at a
// position of the recorded hour, in either direction. The session adds the header.
#include "viewer/protocol/framerecord.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace strandel::sim {

struct SimOptions;

// The data parts of one record and the header fields that depend on them.
struct SimVideo {
    std::vector<uint8_t> part0;
    std::vector<uint8_t> part1, part2; // carried along unchanged; empty for generated video
    uint8_t sizeCode = 2;    // 0 = 704 x 480/576, 1 = 704 x 240/288, 2 = 352 x 240/288
    uint32_t jpegLength = 0; // length of the first JPEG area; 0 for MPEG records
    bool mpeg = false;
    // A stored record's header: its texts, event and covert bits go out again.
    bool stored = false;
    FrameRecordHeader header;
};

class VideoSource {
public:
    virtual ~VideoSource() = default;
    // Record k of a channel (1-based, 1..16); false when the channel has no video.
    virtual bool Get(int channel, uint64_t k, SimVideo &out) = 0;
    // When record k of a channel falls, in ms from the source's start.
    virtual int64_t TimeOf(int channel, uint64_t k) const = 0;
    // The record of a channel that shows at ms: the last whose time is not after it; -1 before
    // the first.
    virtual int64_t IndexAt(int channel, int64_t ms) const = 0;
    // The record at or before k that shows without the ones before it (a key picture of an
    // MPEG-4 stream cut picture by picture); k itself where every record stands alone.
    virtual int64_t KeyAtOrBefore(int /*channel*/, int64_t k) const { return k; }
};

// A source without times of its own: a record every 1000 / fps ms.
class SteadySource : public VideoSource {
public:
    explicit SteadySource(int fps) : periodMs_(1000 / (fps > 0 ? fps : 1)) {}
    int64_t TimeOf(int, uint64_t k) const override { return int64_t(k) * periodMs_; }
    int64_t IndexAt(int, int64_t ms) const override { return ms < 0 ? -1 : ms / periodMs_; }

protected:
    int64_t periodMs_;
};

// JPEG records: a 32-byte prefix (00 00 01 D0 + channel - 1, the picture length, zeros) and the
// picture. An area longer than 65440 bytes carries a 32-byte block inserted at data offset
// 65440, which the viewer cuts out again before decoding. Returns the area's length.
constexpr size_t kJpegPrefixSize = 32;
constexpr size_t kJpegBlockOffset = 65440;
constexpr size_t kJpegBlockSize = 32;
uint32_t AppendJpegArea(std::vector<uint8_t> &part0, const uint8_t *jpeg, size_t size, int channel);

// MPEG records: each frame in a 32-byte PES-style header (start code 00 00 01 E0 + channel - 1,
// presentation time, the frame delay in video fields in the decoding-time field, and the frame's
// length in 22 bits at bytes 24-26), then the frame. False for a frame longer than 22 bits.
constexpr size_t kMpegHeaderSize = 32;
constexpr uint32_t kMpegMaxFrame = (1u << 22) - 1;
bool AppendMpegPacket(std::vector<uint8_t> &part0, const uint8_t *frame, size_t size, int channel, uint32_t pts,
                      uint16_t delayFields);

// Splits an MPEG-4 visual elementary stream at its picture start codes (00 00 01 B6); the stream
// headers before the first picture stay with the first frame.
std::vector<std::vector<uint8_t>> SplitMpeg4Frames(const uint8_t *data, size_t size);

// Width and height from the video object layer header of an MPEG-4 stream; false when the
// stream has none that can be read (or a shape other than rectangular).
bool Mpeg4PictureSize(const uint8_t *data, size_t size, int *width, int *height);

// Picture size code of a picture of that many pixels.
uint8_t SizeCodeFor(int width, int height);

// Generated JPEG pictures: a test pattern per channel with its number and a moving bar; either
// 352 pixels wide in one area (size code 2), or full size as two 704-wide fields (size code 0).
class GeneratedSource : public SteadySource {
public:
    explicit GeneratedSource(bool ntsc, bool fullSize = false, int fps = 5);
    // Picture k % kFrames of the channel: the bar walks right as k grows.
    bool Get(int channel, uint64_t k, SimVideo &out) override;

    static constexpr int kFrames = 16;

private:
    // Frame k of a channel; a full-size frame's fields are pictures 2k and 2k + 1.
    const std::vector<uint8_t> &Picture(int channel, int picture);

    bool fullSize_;
    int width_;
    int height_;
    std::vector<std::vector<std::vector<uint8_t>>> cache_; // [channel - 1][frame]
};

// A directory of per-channel files: chNN.m4v (an MPEG-4 elementary stream), chNN.jpg or
// chNN-*.jpg (pictures, in name order); each loops. Channels without a file get generated
// pictures.
class DirectorySource : public SteadySource {
public:
    // fps and the video standard set the presentation times and frame delays of MPEG frames.
    static std::unique_ptr<DirectorySource> Open(const std::string &dir, int fps, bool ntsc, std::string &error);
    bool Get(int channel, uint64_t k, SimVideo &out) override;
    // The intra-coded picture at or before k of an MPEG-4 channel.
    int64_t KeyAtOrBefore(int channel, int64_t k) const override;
    // What a channel plays: "mpeg", "jpeg" or "generated".
    std::string KindOf(int channel) const;
    size_t FrameCount(int channel) const;

private:
    DirectorySource(int fps, bool ntsc) : SteadySource(fps), fps_(fps), ntsc_(ntsc), generated_(ntsc, false, fps) {}

    struct Channel {
        bool mpeg = false;
        uint8_t sizeCode = 2;
        std::vector<std::vector<uint8_t>> frames;
        std::vector<bool> intra; // MPEG-4: the picture decodes on its own
    };
    int fps_;
    bool ntsc_;
    Channel channels_[16];
    GeneratedSource generated_;
};

// The records of a .dvr recording, served per channel in recorded order and looping. Part 0
// already holds the wire form of its pictures, so it goes out as stored.
//
// Every channel keeps to the one clock of the recording: a record falls at its recorded second
// (the records of a channel within one second spread evenly over it) counted from the first.
// Times are taken from neighbouring records: a time out of step with both of its neighbours
// (damaged, or set far off) counts as the second of the record before it, and a jump in the
// recording that its next record confirms goes on one second later, so no channel waits for a
// clock that never comes.
class DvrFileSource : public VideoSource {
public:
    static std::unique_ptr<DvrFileSource> Open(const std::string &path, std::string &error);
    bool Get(int channel, uint64_t k, SimVideo &out) override;
    int64_t TimeOf(int channel, uint64_t k) const override;
    int64_t IndexAt(int channel, int64_t ms) const override;
    size_t RecordCount(int channel) const { return channels_[channel - 1].records.size(); }
    // One pass of the recording, to the end of its last second.
    int64_t SpanMs() const { return spanMs_; }
    // Two recorded times further apart than this are out of step.
    static constexpr int64_t kMaxStepSeconds = 60;
    // Channel count and video byte of the file header.
    uint8_t FileChannels() const { return fileChannels_; }
    uint8_t FileVideo() const { return fileVideo_; }

    // Reading stops here: the source lives in memory.
    static constexpr size_t kMaxBytes = size_t(256) << 20;

private:
    struct Channel {
        std::vector<SimVideo> records;
        std::vector<int64_t> atMs; // within one pass, not falling
    };
    Channel channels_[16];
    int64_t spanMs_ = 1000;
    uint8_t fileChannels_ = 0;
    uint8_t fileVideo_ = 0;
};

// A directory, or a file ending in ".dvr"; nothing = generated pictures.
std::unique_ptr<VideoSource> MakeVideoSource(const SimOptions &options, std::string &error);

} // namespace strandel::sim
