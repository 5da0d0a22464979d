#include "simrecorder.h"
#include "simaudio.h"

#include "platform/endian.h"
#include "simoptions.h"
#include "viewer/link/crc32.h"

#include <algorithm>
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

void PutDigits(uint8_t *p, int width, unsigned value)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        p[i] = uint8_t(value % 10);
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
      port_(uint16_t(options.listenPort > 0 ? options.listenPort : 5400)), mac_(options.mac)
{
    // One hour recorded on the morning of a fixed day, so searches give the same answers every run.
    span_.start = {20, 26, 12, 10, 9, 0, 0};
    span_.seconds = 3600;
    BuildDefaultEnv();
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

void SimRecorder::BuildDefaultEnv()
{
    env_.assign(kDvrEnvRecordSize, 0);
    env_[0] = 4; // picture positions centred
    env_[1] = 4;
    for (int ch = 0; ch < 16; ++ch) {
        uint8_t *t = env_.data() + env::kTitles + 9 * ch;
        const std::string title = "CAMERA" + std::string(ch < 9 ? "0" : "") + std::to_string(ch + 1);
        std::fill(t, t + 8, uint8_t(' '));
        std::copy(title.begin(), title.end(), t);
        t[8] = 0;
    }
    for (int i = 0; i < 168; ++i) {
        env_[size_t(env::kSchedule + i)] = 2;
        env_[size_t(env::kScheduleMarks + i)] = 1;
    }
    for (int d = 0; d < 7; ++d)
        env_[size_t(env::kAllDay + d)] = 2;
    for (int a = 0; a < 8; ++a)
        env_[size_t(env::kAudio + a)] = 99;
    PutDigits(env_.data() + env::kMasterPassword, 8, 11111111);
    PutDigits(env_.data() + env::kSlavePassword, 8, 22222222);
    const unsigned ip[4] = {127, 0, 0, 1}, mask[4] = {255, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        PutDigits(env_.data() + env::kIp + 3 * i, 3, ip[i]);
        PutDigits(env_.data() + env::kSubnet + 3 * i, 3, mask[i]);
    }
    PutDigits(env_.data() + env::kPort, 4, port_ >= 5400 && port_ <= 5499 ? port_ : 5400);
    env_[env::kVideo] = ntsc_ ? 1 : 0;
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
        const uint8_t digit = env_[size_t(env::kMasterPassword + i)];
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
    std::vector<uint8_t> s(kDvrStatusRecordSize, 0);
    uint8_t *p = s.data();
    p[1] = ntsc_ ? 1 : 0;
    PutLe32(p + 2, 38);
    PutLe32(p + 6, 100);
    const std::string sw = "DVRSIM 1.0", hw = "SIM BOARD 1";
    std::copy(sw.begin(), sw.end(), p + 10);
    std::copy(hw.begin(), hw.end(), p + 42);
    // Slots 1 and 2 hold the two recording disks.
    for (int slot : {1, 2}) {
        p[74 + slot] = 1;
        p[202 + slot] = 0;
        PutLe32(p + 330 + 4 * slot, kDiskSectors);
    }
    PutLe32(p + 842, 2);
    const uint32_t totalMb = 2 * (kDiskSectors / 2048);
    PutLe32(p + 846, totalMb);
    PutLe32(p + 850, totalMb / 3);
    PutLe32(p + 854, 0);
    PutLe32(p + 858, 0);
    p[862] = 1;
    p[863] = 0;
    p[864] = 1;
    p[865] = 1;
    PutLe32(p + 866, 100000);
    PutLe32(p + 870, 100000 + uint32_t(blocks_.size() - 1) * kBlockSectors);
    p[878] = 0;
    std::copy(mac_.begin(), mac_.end(), p + 891);
    const uint8_t ip[4] = {127, 0, 0, 1}, mask[4] = {255, 0, 0, 0};
    std::copy(ip, ip + 4, p + 897);
    std::copy(mask, mask + 4, p + 901);
    PutLe32(p + 913, port_);
    p[917] = 1;
    // Every channel records normally (state 1 in its two bits, channel 0 in the top bits).
    uint32_t states = 0;
    for (int ch = 0; ch < channels_ && ch < 16; ++ch)
        states |= 1u << (30 - 2 * ch);
    PutLe32(p + 923, states);
    return s;
}

} // namespace strandel::sim
