#include "videosource.h"

#include "platform/endian.h"
#include "platform/jpeg.h"
#include "simoptions.h"
#include "simrecorder.h"
#include "viewer/store/dvrstore.h"
#include "viewer/protocol/framerecord.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace strandel::sim {

namespace {

bool ReadFile(const std::filesystem::path &path, std::vector<uint8_t> &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

// 3 x 5 glyphs, one row of three bits a byte, top row first.
struct Glyph {
    char c;
    uint8_t rows[5];
};
constexpr Glyph kGlyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'C', {7, 4, 4, 4, 7}}, {'H', {5, 5, 7, 5, 5}},
};

void DrawText(std::vector<uint32_t> &px, int width, int height, const char *text, int x0, int y0, int scale)
{
    for (int i = 0; text[i]; ++i) {
        const Glyph *g = nullptr;
        for (const auto &k : kGlyphs)
            if (k.c == text[i])
                g = &k;
        if (!g)
            continue;
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 3; ++c) {
                if (!(g->rows[r] & (4 >> c)))
                    continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        const int x = x0 + (i * 4 + c) * scale + dx, y = y0 + r * scale + dy;
                        if (x >= 0 && x < width && y >= 0 && y < height)
                            px[size_t(y) * size_t(width) + size_t(x)] = 0xFFFFFFFFu;
                    }
            }
    }
}

} // namespace

uint32_t AppendJpegArea(std::vector<uint8_t> &part0, const uint8_t *jpeg, size_t size, int channel)
{
    const size_t start = part0.size();
    uint8_t prefix[kJpegPrefixSize] = {0, 0, 1, uint8_t(0xD0 | ((channel - 1) & 0x0F))};
    PutLe32(prefix + 4, uint32_t(size));
    part0.insert(part0.end(), prefix, prefix + kJpegPrefixSize);
    part0.insert(part0.end(), jpeg, jpeg + size);
    if (part0.size() - start > kJpegBlockOffset) {
        // The recorder's block inside long areas; its content means nothing to the viewer.
        const uint8_t block[kJpegBlockSize] = {0, 0, 1, 0xBE};
        part0.insert(part0.begin() + std::ptrdiff_t(start + kJpegBlockOffset), block, block + kJpegBlockSize);
    }
    return uint32_t(part0.size() - start);
}

bool AppendMpegPacket(std::vector<uint8_t> &part0, const uint8_t *frame, size_t size, int channel, uint32_t pts,
                      uint16_t delayFields)
{
    if (size > kMpegMaxFrame)
        return false;
    const uint32_t length = uint32_t(size);
    uint8_t h[kMpegHeaderSize];
    std::fill(h, h + kMpegHeaderSize, 0xFF);
    h[0] = 0;
    h[1] = 0;
    h[2] = 1;
    h[3] = uint8_t(0xE0 | ((channel - 1) & 0x0F));
    const uint32_t pesLength = length + kMpegHeaderSize - 6;
    PutBe16(h + 4, pesLength > 0xFFFF ? 0 : uint16_t(pesLength));
    h[6] = 0x80;                       // marker bits
    h[7] = 0xC0;                       // presentation and decoding time follow
    h[8] = uint8_t(kMpegHeaderSize - 9); // header data length
    // Presentation time (33 bits, here its low 32) with marker bits.
    h[9] = uint8_t(0x31 | ((pts >> 29) & 0x06));
    h[10] = uint8_t(pts >> 22);
    h[11] = uint8_t(((pts >> 14) & 0xFE) | 1);
    h[12] = uint8_t(pts >> 7);
    h[13] = uint8_t(((pts << 1) & 0xFE) | 1);
    // The decoding-time field carries the frame delay in its low 15 bits.
    h[14] = 0x11;
    h[15] = 0;
    h[16] = 1;
    h[17] = uint8_t(delayFields >> 7);
    h[18] = uint8_t(((delayFields << 1) & 0xFE) | 1);
    // 22-bit frame length; bit 3 of byte 25 is a marker.
    h[24] = uint8_t(0x80 | ((length >> 15) & 0x7F));
    h[25] = uint8_t((((length >> 11) & 0x0F) << 4) | 0x08 | ((length >> 8) & 0x07));
    h[26] = uint8_t(length);
    part0.insert(part0.end(), h, h + kMpegHeaderSize);
    part0.insert(part0.end(), frame, frame + size);
    return true;
}

namespace {

// Whether the first picture of an MPEG-4 frame is intra-coded (vop_coding_type 0).
bool IntraPicture(const std::vector<uint8_t> &frame)
{
    for (size_t i = 0; i + 4 < frame.size(); ++i)
        if (frame[i] == 0 && frame[i + 1] == 0 && frame[i + 2] == 1 && frame[i + 3] == 0xB6)
            return (frame[i + 4] >> 6) == 0;
    return false;
}

} // namespace

std::vector<std::vector<uint8_t>> SplitMpeg4Frames(const uint8_t *data, size_t size)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i + 4 <= size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6)
            starts.push_back(i);
    std::vector<std::vector<uint8_t>> frames;
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t from = k == 0 ? 0 : starts[k];
        const size_t to = k + 1 < starts.size() ? starts[k + 1] : size;
        frames.emplace_back(data + from, data + to);
    }
    return frames;
}

namespace {

// Reads bits most significant first; reading past the end gives zeros and sets the flag.
class BitReader {
public:
    BitReader(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    uint32_t Get(int bits)
    {
        uint32_t v = 0;
        for (int i = 0; i < bits; ++i, ++pos_) {
            const size_t byte = pos_ / 8;
            if (byte >= n_) {
                overrun_ = true;
                v <<= 1;
                continue;
            }
            v = (v << 1) | ((p_[byte] >> (7 - pos_ % 8)) & 1u);
        }
        return v;
    }
    bool Overrun() const { return overrun_; }

private:
    const uint8_t *p_;
    size_t n_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

} // namespace

bool Mpeg4PictureSize(const uint8_t *data, size_t size, int *width, int *height)
{
    for (size_t i = 0; i + 4 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 || (data[i + 3] & 0xF0) != 0x20)
            continue;
        // video_object_layer header, up to its width and height.
        BitReader b(data + i + 4, size - i - 4);
        b.Get(1); // random_accessible_vol
        b.Get(8); // video_object_type_indication
        uint32_t verid = 1;
        if (b.Get(1)) { // is_object_layer_identifier
            verid = b.Get(4);
            b.Get(3);
        }
        if (b.Get(4) == 15) // aspect_ratio_info: extended
            b.Get(16);
        if (b.Get(1)) { // vol_control_parameters
            b.Get(3);   // chroma_format, low_delay
            if (b.Get(1))
                b.Get(79); // vbv_parameters with their markers
        }
        const uint32_t shape = b.Get(2);
        if (shape == 3 && verid != 1)
            b.Get(4);
        b.Get(1);
        const uint32_t resolution = b.Get(16);
        b.Get(1);
        if (b.Get(1)) { // fixed_vop_rate
            int bits = 1;
            while (bits < 16 && (1u << bits) < resolution)
                ++bits;
            b.Get(bits);
        }
        if (shape != 0)
            return false;
        b.Get(1);
        const uint32_t w = b.Get(13);
        b.Get(1);
        const uint32_t h = b.Get(13);
        if (b.Overrun() || w == 0 || h == 0)
            return false;
        *width = int(w);
        *height = int(h);
        return true;
    }
    return false;
}

uint8_t SizeCodeFor(int width, int height)
{
    if (width >= 704)
        return height > 300 ? 0 : 1;
    return 2;
}

GeneratedSource::GeneratedSource(bool ntsc, bool fullSize, int fps)
    : SteadySource(fps), fullSize_(fullSize), width_(fullSize ? 704 : 352), height_(ntsc ? 240 : 288), cache_(16)
{
}

const std::vector<uint8_t> &GeneratedSource::Picture(int channel, int picture)
{
    auto &pictures = cache_[size_t(channel - 1)];
    if (pictures.empty())
        pictures.resize(size_t(fullSize_ ? 2 * kFrames : kFrames));
    auto &jpeg = pictures[size_t(picture)];
    if (!jpeg.empty())
        return jpeg;
    // Eight colour bars tinted per channel, a white bar that walks with the picture, the channel number.
    static constexpr uint32_t kBars[8] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000,
                                          0xC000C0, 0xC00000, 0x0000C0, 0x101010};
    const int steps = int(pictures.size());
    std::vector<uint32_t> px(size_t(width_) * size_t(height_));
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            uint32_t c = kBars[x * 8 / width_];
            c ^= uint32_t(channel * 0x0F) << ((channel % 3) * 8);
            px[size_t(y) * size_t(width_) + size_t(x)] = 0xFF000000u | c;
        }
    const int barX = picture * width_ / steps;
    for (int y = height_ - 24; y < height_; ++y)
        for (int x = barX; x < barX + width_ / steps; ++x)
            px[size_t(y) * size_t(width_) + size_t(x)] = 0xFFFFFFFFu;
    char text[8];
    std::snprintf(text, sizeof text, "CH%02d", channel);
    DrawText(px, width_, height_, text, 24, 24, 8);
    JpegEncode(px.data(), width_, height_, width_, 75, jpeg);
    return jpeg;
}

bool GeneratedSource::Get(int channel, uint64_t index, SimVideo &out)
{
    if (channel < 1 || channel > 16)
        return false;
    const int k = int(index % kFrames);
    out = SimVideo{};
    if (!fullSize_) {
        const auto &jpeg = Picture(channel, k);
        if (jpeg.empty())
            return false;
        out.jpegLength = AppendJpegArea(out.part0, jpeg.data(), jpeg.size(), channel);
        out.sizeCode = SizeCodeFor(width_, height_);
        return true;
    }
    // Two fields, each an area with its own prefix; the header's length names the first area.
    const auto &first = Picture(channel, 2 * k);
    const auto &second = Picture(channel, 2 * k + 1);
    if (first.empty() || second.empty())
        return false;
    out.jpegLength = AppendJpegArea(out.part0, first.data(), first.size(), channel);
    AppendJpegArea(out.part0, second.data(), second.size(), channel);
    out.sizeCode = 0;
    return true;
}

std::unique_ptr<DirectorySource> DirectorySource::Open(const std::string &dir, int fps, bool ntsc, std::string &error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = "--source: '" + dir + "' is not a directory";
        return nullptr;
    }
    std::unique_ptr<DirectorySource> src(new DirectorySource(fps, ntsc));
    std::vector<fs::path> files;
    for (const auto &e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file())
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (int ch = 1; ch <= 16; ++ch) {
        char stem[8];
        std::snprintf(stem, sizeof stem, "ch%02d", ch);
        Channel &c = src->channels_[ch - 1];
        for (const auto &f : files) {
            const std::string name = f.filename().string();
            const std::string ext = f.extension().string();
            if (name.rfind(stem, 0) != 0)
                continue;
            const bool exact = f.stem().string() == stem;
            std::vector<uint8_t> bytes;
            if (exact && (ext == ".m4v" || ext == ".cmp")) {
                if (!ReadFile(f, bytes)) {
                    error = "cannot read " + f.string();
                    return nullptr;
                }
                c.frames = SplitMpeg4Frames(bytes.data(), bytes.size());
                c.mpeg = true;
                for (const auto &frame : c.frames)
                    c.intra.push_back(IntraPicture(frame));
                int w = 0, h = 0;
                if (Mpeg4PictureSize(bytes.data(), bytes.size(), &w, &h))
                    c.sizeCode = SizeCodeFor(w, h);
                if (c.frames.empty()) {
                    error = f.string() + " holds no MPEG-4 picture";
                    return nullptr;
                }
                break;
            }
            if ((ext == ".jpg" || ext == ".jpeg") && (exact || name[4] == '-')) {
                if (!ReadFile(f, bytes)) {
                    error = "cannot read " + f.string();
                    return nullptr;
                }
                int w = 0, h = 0;
                if (!JpegReadSize(bytes.data(), bytes.size(), &w, &h)) {
                    error = f.string() + " is no JPEG picture";
                    return nullptr;
                }
                c.sizeCode = SizeCodeFor(w, h);
                c.frames.push_back(std::move(bytes));
            }
        }
    }
    return src;
}

bool DirectorySource::Get(int channel, uint64_t k, SimVideo &out)
{
    if (channel < 1 || channel > 16)
        return false;
    Channel &c = channels_[channel - 1];
    if (c.frames.empty())
        return generated_.Get(channel, k, out);
    const auto &frame = c.frames[k % c.frames.size()];
    out = SimVideo{};
    out.sizeCode = c.sizeCode;
    out.mpeg = c.mpeg;
    if (c.mpeg) {
        // 90 kHz presentation clock; the delay counts video fields until the next frame.
        const uint32_t pts = uint32_t(k * 90000 / uint64_t(fps_));
        const uint16_t delay = uint16_t((ntsc_ ? 60 : 50) / fps_);
        out.jpegLength = 0;
        return AppendMpegPacket(out.part0, frame.data(), frame.size(), channel, pts, delay);
    }
    out.jpegLength = AppendJpegArea(out.part0, frame.data(), frame.size(), channel);
    return true;
}

int64_t DirectorySource::KeyAtOrBefore(int channel, int64_t k) const
{
    if (channel < 1 || channel > 16 || k < 0)
        return k;
    const Channel &c = channels_[channel - 1];
    if (!c.mpeg)
        return k;
    const int64_t n = int64_t(c.frames.size());
    for (int64_t j = k; j >= 0 && j > k - n; --j)
        if (c.intra[size_t(j % n)])
            return j;
    return k; // a stream without an intra picture: nothing better to offer
}

std::string DirectorySource::KindOf(int channel) const
{
    const Channel &c = channels_[channel - 1];
    return c.frames.empty() ? "generated" : c.mpeg ? "mpeg" : "jpeg";
}

size_t DirectorySource::FrameCount(int channel) const { return channels_[channel - 1].frames.size(); }

std::unique_ptr<DvrFileSource> DvrFileSource::Open(const std::string &path, std::string &error)
{
    DvrStoreContext ctx;
    if (!StoreOpenFile(&ctx, path)) {
        error = "cannot read the recording " + path;
        return nullptr;
    }
    std::unique_ptr<DvrFileSource> src(new DvrFileSource);
    src->fileChannels_ = ctx.channelCount;
    src->fileVideo_ = ctx.videoStandard;
    // Forward at normal speed from the first record of the file; the file header's first time
    // may be damaged, so the seek takes the earliest time there is.
    ctx.playState = 1;
    ctx.running = 1;
    ctx.fastFactor = 1;
    ctx.slowFactor = 1;
    ctx.direction = kPlayForward;
    const uint8_t earliest[kStoreTimeSize] = {};
    bool more = StoreSeekTime(&ctx, 0, earliest);
    std::vector<uint8_t> header(kRecordHeaderSize), data(kMaxRecordBytes);
    size_t total = 0;
    struct Stamp {
        int channel;
        int64_t second; // -1: no valid time
    };
    std::vector<Stamp> stamps; // every record in file order
    for (int guard = 0; more && guard < 1000000 && total < kMaxBytes; ++guard) {
        bool read = false;
        const int r = StoreNextRecord(&ctx, header.data(), data.data(), &read);
        more = r == StoreRecord || r == StoreNothing;
        if (!read)
            continue;
        const FrameRecordHeader h = FrameRecordHeader::Read(header.data());
        if (h.channel < 1 || h.channel > 16 || h.TotalSize() + kRecordPadSize > kMaxRecordBytes)
            continue;
        // Data that begin with eight zeros carry the 96 extra header bytes of picture records first.
        const uint8_t *d = data.data();
        static const uint8_t zeros[8] = {};
        if (std::memcmp(d, zeros, sizeof zeros) == 0)
            d += kRecordPadSize;
        SimVideo v;
        v.part0.assign(d, d + h.partSize[0]);
        d += h.partSize[0];
        v.part1.assign(d, d + h.partSize[1]);
        d += h.partSize[1];
        v.part2.assign(d, d + h.partSize[2]);
        v.sizeCode = h.sizeCode;
        v.jpegLength = h.jpegLength;
        v.mpeg = h.partSize[0] >= 4 && (GetLe32(v.part0.data()) & 0xF0FFFFFFu) == 0xE0010000u;
        v.stored = true;
        v.header = h;
        total += size_t(h.TotalSize());
        src->channels_[h.channel - 1].records.push_back(std::move(v));
        stamps.push_back({h.channel, ValidRecorderTime(h.time) ? RecorderSeconds(h.time) : -1});
    }
    StoreCloseStream(&ctx);
    if (total == 0) {
        error = path + " holds no record";
        return nullptr;
    }

    // The second of every record on one clock, from its neighbours in the file.
    const auto near = [](int64_t a, int64_t b) {
        return a >= 0 && b >= 0 && (a > b ? a - b : b - a) <= kMaxStepSeconds;
    };
    const size_t n = stamps.size();
    std::vector<int64_t> clock(n, 0);
    int64_t anchorRaw = -1, anchor = 0, lastRaw = -1, last = 0, latest = 0;
    for (size_t i = 0; i < n; ++i) {
        const int64_t t = stamps[i].second;
        const bool confirmed = (i > 0 && near(t, stamps[i - 1].second)) || (i + 1 < n && near(t, stamps[i + 1].second));
        if (t < 0 || (n > 1 && !confirmed)) {
            clock[i] = last; // damaged: the second of the record before it
            continue;
        }
        if (anchorRaw < 0) {
            anchorRaw = t;
        } else if (!near(t, lastRaw)) {
            // A jump in the recording: it goes on one second after the latest.
            anchorRaw = t;
            anchor = latest + 1;
        }
        last = std::max<int64_t>(0, anchor + (t - anchorRaw));
        clock[i] = last;
        lastRaw = t;
        latest = std::max(latest, last);
    }
    src->spanMs_ = (latest + 1) * 1000;
    // Per channel: never falling, and the records of one second spread over it.
    std::vector<int64_t> seconds[16];
    for (size_t i = 0; i < n; ++i) {
        auto &s = seconds[stamps[i].channel - 1];
        s.push_back(s.empty() ? clock[i] : std::max(clock[i], s.back()));
    }
    for (int ch = 0; ch < 16; ++ch) {
        const auto &s = seconds[ch];
        auto &at = src->channels_[ch].atMs;
        for (size_t i = 0; i < s.size();) {
            size_t j = i;
            while (j < s.size() && s[j] == s[i])
                ++j;
            for (size_t k = i; k < j; ++k)
                at.push_back(s[i] * 1000 + int64_t(k - i) * 1000 / int64_t(j - i));
            i = j;
        }
    }
    return src;
}

bool DvrFileSource::Get(int channel, uint64_t k, SimVideo &out)
{
    if (channel < 1 || channel > 16)
        return false;
    const Channel &c = channels_[channel - 1];
    if (c.records.empty())
        return false;
    out = c.records[k % c.records.size()];
    return true;
}

int64_t DvrFileSource::TimeOf(int channel, uint64_t k) const
{
    if (channel < 1 || channel > 16 || channels_[channel - 1].records.empty())
        return 0;
    const Channel &c = channels_[channel - 1];
    const uint64_t n = c.atMs.size();
    return int64_t(k / n) * spanMs_ + c.atMs[k % n];
}

int64_t DvrFileSource::IndexAt(int channel, int64_t ms) const
{
    if (channel < 1 || channel > 16 || channels_[channel - 1].records.empty() || ms < 0)
        return -1;
    const Channel &c = channels_[channel - 1];
    const int64_t n = int64_t(c.atMs.size());
    const int64_t pass = ms / spanMs_;
    const int64_t j = std::upper_bound(c.atMs.begin(), c.atMs.end(), ms % spanMs_) - c.atMs.begin() - 1;
    // Before the channel's first record of a pass its last of the pass before still shows.
    return pass * n + j;
}

std::unique_ptr<VideoSource> MakeVideoSource(const SimOptions &options, std::string &error)
{
    if (options.source.empty())
        return std::make_unique<GeneratedSource>(options.ntsc, options.fullSize, options.fps);
    const std::string &s = options.source;
    if (s.size() > 4 && s.compare(s.size() - 4, 4, ".dvr") == 0)
        return DvrFileSource::Open(s, error);
    return DirectorySource::Open(s, options.fps, options.ntsc, error);
}

} // namespace strandel::sim
