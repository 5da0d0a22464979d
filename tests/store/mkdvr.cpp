// Packs pictures into a `.dvr` recording with the viewer's writer, as a recorder records: JPEG
// channels one picture per record (a 32-byte prefix and one picture of 352 x 240), MPEG-4
// channels one group of pictures per record, from an intra picture up to the next one, cut
// from a raw MPEG-4 video stream at its VOP start codes.
// Used by scripts/make-demo-recording.sh to make the demo recording in samples/.
//
//   store_mkdvr OUT.dvr FPS FRAMES CH:jpeg:DIR[:STEP] ... CH:mpeg:FILE.m4v ...
//
// FRAMES instants at FPS per second. DIR holds frame001.jpg, frame002.jpg, ...; a JPEG channel
// records a picture every STEP instants (default 1). An MPEG channel's stream holds FRAMES
// pictures.
#include "viewer/store/dvrstore.h"
#include "viewer/protocol/framerecord.h"
#include "platform/endian.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace strandel;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// The frames of a raw MPEG-4 stream: each VOP with the headers that precede it.
std::vector<Bytes> SplitVops(const Bytes &s)
{
    std::vector<Bytes> frames;
    size_t start = 0;
    bool seenVop = false;
    for (size_t i = 0; i + 4 <= s.size(); ++i) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1)
            continue;
        const uint8_t code = s[i + 3];
        const bool header = code == 0xB0 || code == 0xB5 || code <= 0x2F || code == 0xB3;
        if ((code == 0xB6 && seenVop) || (header && seenVop)) {
            frames.emplace_back(s.begin() + long(start), s.begin() + long(i));
            start = i;
            seenVop = false;
        }
        if (code == 0xB6)
            seenVop = true;
    }
    if (start < s.size())
        frames.emplace_back(s.begin() + long(start), s.end());
    return frames;
}

// The coding type of the frame's VOP: 0 intra, 1 predicted, ...; -1 without a VOP.
int VopType(const Bytes &f)
{
    for (size_t i = 0; i + 4 < f.size(); ++i)
        if (f[i] == 0 && f[i + 1] == 0 && f[i + 2] == 1 && f[i + 3] == 0xB6)
            return f[i + 4] >> 6;
    return -1;
}

void PutTimestamp(uint8_t *p, uint8_t prefix, uint32_t v)
{
    p[0] = uint8_t(prefix | ((v >> 29) & 0x0E) | 1);
    p[1] = uint8_t(v >> 22);
    p[2] = uint8_t(((v >> 14) & 0xFE) | 1);
    p[3] = uint8_t(v >> 7);
    p[4] = uint8_t(((v << 1) & 0xFE) | 1);
}

// One MPEG frame as the recorders store it: a 32-byte packet header (start code 00 00 01 E0,
// PTS, a decoding time stamp whose low 15 bits are the delay in video fields until the
// channel's next frame, and the 22-bit length L at bytes 24..26), the stream bytes, and 32
// bytes of padding, so the packet occupies L + 32 bytes and its first L bytes are header and
// stream.
Bytes MpegPacket(const Bytes &es, uint32_t pts90k, uint32_t delayFields)
{
    const uint32_t length = uint32_t(es.size()) + 32;
    Bytes p(32 + es.size() + 32, 0);
    p[2] = 1;
    p[3] = 0xE0;
    const uint32_t pesLength = uint32_t(p.size()) - 6;
    p[4] = uint8_t(pesLength > 0xFFFF ? 0 : pesLength >> 8);
    p[5] = uint8_t(pesLength > 0xFFFF ? 0 : pesLength);
    p[6] = 0x80;
    p[7] = 0xC0; // PTS and DTS present
    p[8] = 23;   // header bytes after this one
    PutTimestamp(&p[9], 0x30, pts90k);
    PutTimestamp(&p[14], 0x10, delayFields);
    p[24] = uint8_t((length >> 15) & 0x7F);
    p[25] = uint8_t((((length >> 11) & 0x0F) << 4) | 0x08 | ((length >> 8) & 0x07));
    p[26] = uint8_t(length);
    std::memcpy(p.data() + 32, es.data(), es.size());
    return p;
}

// One JPEG record as the channel panes read it: a 32-byte prefix, then the picture. The prefix
// starts with a tag, never with the eight zero bytes that would mark the padded record kind.
Bytes JpegRecord(const Bytes &jpeg)
{
    Bytes p(32 + jpeg.size(), 0);
    std::memcpy(p.data(), "JPEG", 4);
    PutLe32(p.data() + 4, uint32_t(jpeg.size()));
    std::memcpy(p.data() + 32, jpeg.data(), jpeg.size());
    return p;
}

struct Channel {
    int number = 0;
    bool mpeg = false;
    int step = 1; // JPEG: a picture every step instants
    std::vector<Bytes> frames;
    // Whether the channel starts a record at instant i.
    bool RecordsAt(int i) const { return mpeg ? VopType(frames[size_t(i)]) == 0 : i % step == 0; }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s OUT.dvr FPS FRAMES CH:jpeg:DIR|CH:mpeg:FILE ...\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const int fps = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    if (fps < 1 || fps > 30 || count < 1) {
        std::fprintf(stderr, "bad FPS or FRAMES\n");
        return 2;
    }
    std::vector<Channel> channels;
    for (int a = 4; a < argc; ++a) {
        const std::string arg = argv[a];
        const size_t c1 = arg.find(':'), c2 = arg.find(':', c1 + 1);
        if (c1 == std::string::npos || c2 == std::string::npos) {
            std::fprintf(stderr, "bad channel %s\n", arg.c_str());
            return 2;
        }
        Channel ch;
        ch.number = std::atoi(arg.substr(0, c1).c_str());
        ch.mpeg = arg.substr(c1 + 1, c2 - c1 - 1) == "mpeg";
        std::string source = arg.substr(c2 + 1);
        if (const size_t c3 = source.rfind(':'); !ch.mpeg && c3 != std::string::npos) {
            ch.step = std::max(1, std::atoi(source.substr(c3 + 1).c_str()));
            source.resize(c3);
        }
        if (ch.mpeg) {
            ch.frames = SplitVops(ReadAll(source));
        } else {
            for (int i = 1; i <= (count + ch.step - 1) / ch.step; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "/frame%03d.jpg", i);
                ch.frames.push_back(ReadAll(source + name));
            }
        }
        const int needed = ch.mpeg ? count : (count + ch.step - 1) / ch.step;
        if (ch.number < 1 || ch.number > 16 || int(ch.frames.size()) < needed || ch.frames[0].empty()) {
            std::fprintf(stderr, "channel %s: %zu frames\n", arg.c_str(), ch.frames.size());
            return 1;
        }
        if (ch.mpeg && VopType(ch.frames[0]) != 0) {
            std::fprintf(stderr, "channel %s does not begin with an intra picture\n", arg.c_str());
            return 1;
        }
        channels.push_back(std::move(ch));
    }

    DvrStoreContext w;
    w.channelCount = 16;
    w.videoStandard = 1; // NTSC: 352 x 240 pictures
    if (!StoreCreateFile(&w, out))
        return 1;
    const uint32_t frameMs = uint32_t(1000 / fps);
    const uint32_t fields = uint32_t(60 / fps);
    // The instants at which some channel records; the gap to the next instant is shared out as
    // the pauses of its records (each at most 90 ms: a player keeps pauses of 10 to 99 ms only).
    std::vector<int> instants;
    for (int i = 0; i < count; ++i)
        for (const Channel &ch : channels)
            if (ch.RecordsAt(i)) {
                instants.push_back(i);
                break;
            }
    uint8_t frameId = 0;
    for (size_t n = 0; n < instants.size(); ++n) {
        const int i = instants[n];
        const int next = n + 1 < instants.size() ? instants[n + 1] : count;
        const uint32_t ms = uint32_t(i) * frameMs;
        std::vector<const Channel *> recording;
        for (const Channel &ch : channels)
            if (ch.RecordsAt(i))
                recording.push_back(&ch);
        for (size_t k = 0; k < recording.size(); ++k) {
            const Channel &ch = *recording[k];
            FrameRecordHeader h;
            h.channel = uint8_t(ch.number);
            std::snprintf(h.text[0].data(), h.text[0].size(), "CAM %02d", ch.number);
            h.frameId = frameId++;
            h.sizeCode = 2;
            h.kind = FrameKindLive;
            const uint32_t s = ms / 1000;
            h.time = {20, 26, 12, 10, uint8_t(12 + s / 3600), uint8_t(s / 60 % 60), uint8_t(s % 60)};
            h.liveMask = h.playMask = 0xFFFF;
            const uint32_t gap = uint32_t(next - i) * frameMs / 10, n = uint32_t(recording.size());
            h.delay = gap / n + (k < gap % n ? 1 : 0);
            if (h.delay > 9) {
                std::fprintf(stderr, "the %u ms after %d cannot be paused by %u records\n", gap * 10, i, n);
                return 1;
            }
            h.timeValue = ms;
            Bytes data;
            if (ch.mpeg) {
                // The group: this intra picture and the predicted ones up to the next.
                for (int f = i; f < count && (f == i || !ch.RecordsAt(f)); ++f) {
                    const Bytes packet = MpegPacket(ch.frames[size_t(f)], uint32_t(f) * frameMs * 90, fields);
                    data.insert(data.end(), packet.begin(), packet.end());
                }
            } else {
                data = JpegRecord(ch.frames[size_t(i / ch.step)]);
            }
            h.partSize = {uint32_t(data.size()), 0, 0};
            h.jpegLength = ch.mpeg ? 0 : uint32_t(ch.frames[size_t(i / ch.step)].size());
            h.directShow = ch.mpeg ? 0 : 1; // pictures are shown at once, frames go through the play rings
            auto bytes = h.ToBytes();
            if (!StoreAppendRecord(&w, bytes.data(), data.data())) {
                std::fprintf(stderr, "cannot write the record at %d of channel %d\n", i, ch.number);
                return 1;
            }
        }
    }
    if (!StoreCloseFile(&w))
        return 1;
    std::printf("%s: %d channels, %d frames each, %u bytes\n", out.c_str(), int(channels.size()), count, w.byteCount);
    return 0;
}
