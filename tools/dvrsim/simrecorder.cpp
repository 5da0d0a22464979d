#include "simrecorder.h"
#include "simaudio.h"

#include "platform/endian.h"
#include "simenv.h"
#include "simoptions.h"
#include "viewer/link/crc32.h"
#include "viewer/protocol/recordprogram.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

namespace strandel::sim {

namespace {

// Days since 1970-01-01 of a civil date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

RecorderTime FromSeconds(int64_t s)
{
    int64_t days = s / 86400, rest = s % 86400;
    if (rest < 0)
        rest += 86400, --days;
    int y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    y = std::clamp(y, 1900, 2099);
    return {uint8_t(y / 100), uint8_t(y % 100), uint8_t(m), uint8_t(d), uint8_t(rest / 3600),
            uint8_t(rest / 60 % 60), uint8_t(rest % 60)};
}

std::vector<uint8_t> Entry(std::initializer_list<uint8_t> head, size_t size)
{
    std::vector<uint8_t> e(head);
    e.resize(size);
    return e;
}

// A search answers from the entry after the time it carries, so that "Next" with the last row's
// time goes on without repeating it; the unset time (century 0xFF) lists from the first entry.
bool After(const RecorderTime &entry, const RecorderTime &from)
{
    return from.century == 0xFF || CompareRecorderTime(entry, from) > 0;
}

constexpr uint32_t kDiskSectors = 312500000; // a 160 GB disk
constexpr uint32_t kBlockSectors = 40000;

} // namespace


int64_t RecorderSeconds(const RecorderTime &t)
{
    const int64_t days = DaysFromCivil(t.century * 100 + t.year, t.month ? t.month : 1, t.day ? t.day : 1);
    return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

bool ValidRecorderTime(const RecorderTime &t)
{
    return t.century >= 19 && t.century <= 20 && t.year < 100 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= 31 && t.hour < 24 && t.minute < 60 && t.second < 60;
}

const char *FirmwareTagFor(uint8_t model) { return model != 0 ? "kxt52070" : "kxt52030"; }

std::vector<uint8_t> MakeFirmwareImage(uint8_t model, size_t size)
{
    size = std::max(size, kMinFirmwareSize);
    std::vector<uint8_t> image(size);
    static const char kHead[] = "DVRSIM FIRMWARE";
    uint32_t x = 0x2545F491u;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        image[i] = i < sizeof kHead - 1 ? uint8_t(kHead[i]) : uint8_t(x >> 24);
    }
    uint8_t *tag = image.data() + size - 20;
    std::fill(tag, tag + 16, uint8_t(0));
    const char *name = FirmwareTagFor(model);
    std::copy(name, name + std::strlen(name), tag);
    PutLe32(image.data() + size - 4, CrcUpdate(0, image.data(), int(size - 4)));
    return image;
}

RecorderTime AddSeconds(const RecorderTime &t, int64_t seconds) { return FromSeconds(RecorderSeconds(t) + seconds); }

RecorderTime NowRecorderTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    const int y = tm.tm_year + 1900;
    return {uint8_t(y / 100), uint8_t(y % 100), uint8_t(tm.tm_mon + 1), uint8_t(tm.tm_mday), uint8_t(tm.tm_hour),
            uint8_t(tm.tm_min), uint8_t(tm.tm_sec)};
}

RecorderTime RecordedSpan::At(uint32_t second) const { return AddSeconds(start, second); }

int64_t RecordedSpan::Offset(const RecorderTime &t) const
{
    if (t.century == 0xFF)
        return 0;
    if (!ValidRecorderTime(t))
        return -1;
    const int64_t d = RecorderSeconds(t) - RecorderSeconds(start);
    return d < 0 || d > int64_t(seconds) ? -1 : d;
}

SimRecorder::SimRecorder(const SimOptions &options)
    : channels_(options.channels), ntsc_(options.ntsc), model_(options.model),
      variant_(options.variant < 0 ? 0 : options.variant),
      port_(uint16_t(options.listenPort > 0 ? options.listenPort : 5400)), mac_(options.mac)
{
    // One hour recorded on the morning of a fixed day, so searches give the same answers every run.
    span_.start = {20, 26, 12, 10, 9, 0, 0};
    span_.seconds = 3600;
    env_ = BuildRecorderEnv({channels_, ntsc_, variant_, port_});
    // The clock the record shows is the one it was built at; a record a viewer sends keeps its own.
    WriteRecorderTime(env_.data() + kEnvClockOffset, NowRecorderTime());
    BuildDefaultTitles();

    // An event every 37 seconds, cycling through the channels and the three kinds.
    for (uint32_t s = 20, k = 0; s < span_.seconds; s += 37, ++k) {
        auto e = Entry({uint8_t(k % uint32_t(channels_) + 1), uint8_t(1u << (k % 3))}, kEventEntrySize);
        WriteRecorderTime(e.data() + 2, span_.At(s));
        e[9] = 1;                           // disk
        e[10] = uint8_t(s / 60);            // unit within the block
        e[11] = uint8_t(s % 60);            // record within the unit
        PutLe32(e.data() + 12, 100000 + s / 60 * kBlockSectors); // block address
        PutLe32(e.data() + 16, s);
        events_.push_back(std::move(e));
    }
    // A block every minute: three pages of them.
    for (uint32_t s = 0, k = 0; s < span_.seconds; s += 60, ++k) {
        auto b = Entry({1}, kBlockEntrySize);
        WriteRecorderTime(b.data() + 1, span_.At(s));
        PutLe32(b.data() + 10, 100000 + k * kBlockSectors);
        blocks_.push_back(std::move(b));
    }
    AddLog(5, AddSeconds(span_.start, -60));  // POWER ON
    AddLog(12, AddSeconds(span_.start, -30)); // NET CONNECT
    AddLog(1, span_.start);                   // RECORD START
    // A minute by minute mix of the other kinds, disk faults on every bay: several pages.
    static constexpr uint8_t kMix[] = {3, 9, 10, 11, 13, 12, 15, 16, 17, 14};
    for (uint32_t s = 60, k = 0; s < span_.seconds; s += 60, ++k) {
        AddLog(kMix[k % std::size(kMix)], span_.At(s));
        log_.back()[8] = uint8_t(k % 8 + 1);
    }
    AddLog(2, span_.At(span_.seconds));       // RECORD STOP
}

void SimRecorder::BuildDefaultTitles()
{
    // A frame around each title and one dot per channel number along its top.
    titles_.assign(kTitleBitmapsSize, 0);
    for (int ch = 0; ch < 16; ++ch) {
        uint8_t *b = titles_.data() + kTitleBitmapSize * ch;
        auto set = [b](int x, int y) { b[(x / 8) * 16 + y] |= uint8_t(0x80 >> (x % 8)); };
        for (int x = 0; x < 72; ++x)
            set(x, 0), set(x, 15);
        for (int y = 0; y < 16; ++y)
            set(0, y), set(71, y);
        for (int k = 0; k <= ch; ++k)
            set(3 + 4 * k, 3);
    }
}

bool SimRecorder::LoadEnv(const std::string &path, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    if (!in.good() && !in.eof()) {
        error = "cannot read " + path;
        return false;
    }
    if (bytes.size() != size_t(kDvrEnvRecordSize)) {
        error = path + ": a configuration record has " + std::to_string(kDvrEnvRecordSize) + " bytes, not " +
                std::to_string(bytes.size());
        return false;
    }
    env_ = std::move(bytes);
    return true;
}

bool SimRecorder::StoreEnv(const std::vector<uint8_t> &record)
{
    if (record.size() != size_t(kDvrEnvRecordSize))
        return false;
    env_ = record;
    AddLog(3, NowRecorderTime()); // MENU CHANGED
    return true;
}

bool SimRecorder::StoreTitles(const std::vector<uint8_t> &bitmaps)
{
    if (bitmaps.size() != size_t(kTitleBitmapsSize))
        return false;
    titles_ = bitmaps;
    return true;
}

bool SimRecorder::CheckSetupPassword(const uint8_t *p, size_t length) const
{
    for (int i = 0; i < 8; ++i) {
        const uint8_t digit = env_[size_t(kEnvMasterPassword + i)];
        const uint8_t typed = size_t(i) < length ? p[i] : 0;
        if (digit > 9 || typed != uint8_t('0' + digit))
            return false;
    }
    return true;
}

bool SimRecorder::DiskPresent(uint8_t code) const
{
    // The normal area and disks 1 and 2; the backup area is empty.
    return code == 0 || code == 3 || code == 4;
}

std::vector<uint8_t> SimRecorder::DiskMap() const
{
    std::vector<uint8_t> map(kHddMapSize, 0);
    map[0] = 0x40 | 0x20; // disks 1 and 2
    return map;
}

std::vector<uint8_t> SimRecorder::DiskIndex(uint8_t diskCode) const
{
    if (!DiskPresent(diskCode))
        return {};
    std::vector<uint8_t> h(kDiskHeaderSize, 0);
    uint8_t *p = h.data();
    p[41] = uint8_t(channels_);
    p[42] = ntsc_ ? 1 : 0;
    const uint32_t t = kDiskSectors;
    const uint32_t first = t / 400000 + 5020 + 10 + t / kBlockSectors + 10;
    PutLe32(p + 43, t);
    PutLe32(p + 47, 5020);
    PutLe32(p + 51, t / 400000 + 5020 + 10);
    PutLe32(p + 55, first);
    PutLe32(p + 59, first + ((t - first) / kBlockSectors - 1) * kBlockSectors);
    WriteRecorderTime(p + 63, span_.start);
    WriteRecorderTime(p + 182, span_.At(span_.seconds));
    PutLe32(p + 316, uint32_t(blocks_.size()));
    PutLe32(p + 324, first);
    PutLe32(p + 328, first + uint32_t(blocks_.size() - 1) * kBlockSectors);
    PutLe32(p + 390, CrcUpdate(0, p, 390));
    return h;
}

std::vector<std::vector<uint8_t>> SimRecorder::EventSearch(uint8_t diskCode, uint8_t channel, uint8_t mask,
                                                           const RecorderTime &from) const
{
    std::vector<std::vector<uint8_t>> out;
    if (!DiskPresent(diskCode))
        return out;
    for (const auto &e : events_) {
        if (out.size() >= size_t(kPageSize))
            break;
        const bool inTime = After(ReadRecorderTime(e.data() + 2), from);
        if (inTime && (channel == 0 || channel == e[0]) && (mask & e[1]))
            out.push_back(e);
    }
    return out;
}

std::vector<std::vector<uint8_t>> SimRecorder::BlockSearch(uint8_t diskCode, const RecorderTime &from) const
{
    std::vector<std::vector<uint8_t>> out;
    if (!DiskPresent(diskCode))
        return out;
    for (const auto &b : blocks_) {
        if (out.size() >= size_t(kPageSize))
            break;
        if (After(ReadRecorderTime(b.data() + 1), from))
            out.push_back(b);
    }
    return out;
}

std::vector<std::vector<uint8_t>> SimRecorder::LogSearch(const RecorderTime &from) const
{
    std::vector<std::vector<uint8_t>> out;
    for (const auto &e : log_) {
        if (out.size() >= size_t(kPageSize))
            break;
        if (After(ReadRecorderTime(e.data() + 1), from))
            out.push_back(e);
    }
    return out;
}

std::vector<uint8_t> SimRecorder::LogDownload() const
{
    std::vector<uint8_t> out;
    for (const auto &e : log_)
        out.insert(out.end(), e.begin(), e.end());
    return out;
}

void SimRecorder::AddLog(uint8_t code, const RecorderTime &time)
{
    auto e = Entry({code}, kLogEntrySize);
    WriteRecorderTime(e.data() + 1, time);
    e[8] = 1;
    log_.push_back(std::move(e));
    // A recorder's log is a ring; keep it bounded against a client that logs in forever.
    if (log_.size() > 1000)
        log_.erase(log_.begin());
}

void SimRecorder::Control(uint16_t word)
{
    // Initialising is only logged; the simulated disks keep their recording.
    if (word == 0)
        AddLog(8, NowRecorderTime()); // DVR INIT
    else if (word == 1)
        AddLog(6, NowRecorderTime()); // HDD INIT(N)
    else if (word == 2)
        AddLog(7, NowRecorderTime()); // HDD INIT(B)
}

void SimRecorder::AddReceivedAudio(const uint8_t *block, size_t length)
{
    ++audioBlocksIn_;
    if (audioIn_.size() + length <= kMaxReceivedAudio)
        audioIn_.insert(audioIn_.end(), block, block + length);
}

void SimRecorder::Flash(std::vector<uint8_t> image)
{
    firmware_ = std::move(image);
    ++flashCount_;
}

std::vector<uint8_t> SimRecorder::Status() const
{
    // What the set-up record says, as the recorder runs it now.
    std::vector<uint8_t> s(kDvrStatusRecordSize, 0);
    uint8_t *p = s.data();
    const uint8_t *e = env_.data();
    const uint8_t video = e[env::kVideo];
    p[1] = video <= 1 ? video : (ntsc_ ? 1 : 0); // AUTO: what the cameras deliver
    PutLe32(p + 2, 38);
    PutLe32(p + 6, 100);
    char sw[32] = "DVRSIM 1.0";
    if (flashCount_ > 0) // the version names the image last flashed
        std::snprintf(sw, sizeof sw, "DVRSIM 1.0 UPG %08X", CrcUpdate(0, firmware_.data(), int(firmware_.size())));
    const std::string hw = "SIM BOARD 1";
    std::copy(sw, sw + std::strlen(sw), p + 10);
    std::copy(hw.begin(), hw.end(), p + 42);
    // Bays 1 and 2 hold the disks, each recording or keeping backups as its bay is set.
    const uint32_t diskMb = kDiskSectors / 2048;
    uint32_t fixedMb = 0, backupMb = 0;
    for (int slot : {1, 2}) {
        const bool backup = e[env::kBayMode + slot] == 1;
        p[74 + slot] = 1;
        p[202 + slot] = backup ? 1 : 0;
        PutLe32(p + 330 + 4 * slot, kDiskSectors);
        (backup ? backupMb : fixedMb) += diskMb;
        if (!backup && p[865] == 0)
            p[865] = uint8_t(slot);
        if (backup && p[878] == 0)
            p[878] = uint8_t(slot);
    }
    PutLe32(p + 842, 2);
    PutLe32(p + 846, fixedMb);
    PutLe32(p + 850, fixedMb / 3);
    PutLe32(p + 854, backupMb);
    PutLe32(p + 858, 0);

    // The program of this hour of the schedule, its record type, the repeat switch.
    const RecorderTime now = NowRecorderTime();
    const int program = ScheduledProgram(env_, variant_, channels_, DayOfWeek(&now), now.hour);
    const uint8_t *block = e + kEnvProgramOffset + kEnvProgramSize * program;
    p[862] = uint8_t(program);
    p[863] = block[prg::kType];
    p[864] = e[env::kRepeat];
    PutLe32(p + 866, 100000);
    PutLe32(p + 870, 100000 + uint32_t(blocks_.size() - 1) * kBlockSectors);

    std::copy(mac_.begin(), mac_.end(), p + 891);
    for (int k = 0; k < 4; ++k) {
        const int at[4] = {env::kIp, env::kSubnet, env::kGateway, env::kDns};
        for (int f = 0; f < 4; ++f)
            p[897 + 4 * f + k] = uint8_t(DecodeEnvOctet(e + at[f], k).value_or(0));
    }
    PutLe32(p + 913, DigitsToNumber(e + env::kPort, 4));
    // Recording in a scheduled hour; a channel records normally when its program gives it
    // pictures of its own (a half-size partner's go with its pair).
    const bool recording = program != 6;
    p[917] = recording ? 1 : 0;
    int sizes[16] = {}, pairs[16] = {};
    for (int ch = 0; ch < 16; ++ch) {
        sizes[ch] = block[prg::kSize + ch];
        pairs[ch] = block[prg::kPair + ch];
    }
    uint32_t partners = PartnerSet(sizes, pairs, std::min(channels_, 16));
    if (variant_ == 1 || (variant_ == 2 && channels_ == 16)) {
        // Variant pages: a half-size group records on its even places only.
        const int group = variant_ == 1 ? 4 : 8;
        partners = 0;
        for (int leader = 0; leader < 16; leader += group)
            if (sizes[leader] == kSizeHalf)
                for (int ch = leader + 1; ch < leader + group; ch += 2)
                    partners |= 1u << ch;
    }
    uint32_t states = 0;
    for (int ch = 0; ch < channels_ && ch < 16; ++ch)
        if (recording && block[prg::kNormal + 2 * ch] > 0 && !(partners & (1u << ch)))
            states |= 1u << (30 - 2 * ch);
    PutLe32(p + 923, states);
    return s;
}

} // namespace strandel::sim
