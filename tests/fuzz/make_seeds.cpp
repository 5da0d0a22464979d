// Writes the small seed corpus of every fuzz target under the given source tree:
// tests/<area>/corpus/<target>/. The corpora are committed; scripts/make-fuzz-seeds.sh reruns this.
#include "graphics/rx32.h"
#include "platform/endian.h"
#include "viewer/audio/imaadpcm.h"
#include "viewer/link/dvrframing.h"
#include "viewer/protocol/dvrcommand.h"
#include "viewer/protocol/framerecord.h"
#include "viewer/store/dvrstore.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <string>
#include <vector>

using namespace strandel;
using Bytes = std::vector<uint8_t>;

namespace {

QString root;

void Write(const char *area, const char *target, const char *name, const Bytes &bytes)
{
    const QString dir = root + "/tests/" + area + "/corpus/" + target;
    QDir().mkpath(dir);
    QFile f(dir + "/" + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
}

Bytes Pattern(size_t n, uint8_t seed)
{
    Bytes v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 13);
    return v;
}

struct Packet {
    uint8_t cmd, flag;
    Bytes payload;
};

Bytes TcpFrames(const std::vector<Packet> &packets)
{
    Bytes out;
    for (const Packet &p : packets) {
        Bytes f(kTcpFrameOverhead + p.payload.size());
        BuildTcpFrame(f.data(), p.cmd, p.flag, p.payload.data(), uint32_t(p.payload.size()));
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

// A live record of part sizes p0, p1 as the recorder pushes it.
std::vector<Packet> RecordPush(uint8_t frameId, uint32_t p0, uint32_t p1)
{
    FrameRecordHeader h;
    h.channel = 1;
    h.frameId = frameId;
    h.kind = FrameKindLive;
    h.time = {20, 26, 12, 10, 13, 14, 15};
    h.partSize = {p0, p1, 0};
    std::vector<Packet> out;
    for (int p = 0; p < 2; ++p) {
        const Bytes part = Pattern(h.partSize[p], uint8_t(p + 1));
        for (size_t at = 0; at < part.size(); at += kMaxPayload) {
            const size_t n = std::min(part.size() - at, size_t(kMaxPayload));
            out.push_back({DvrCmdRecord, uint8_t((at == 0 ? DvrFlagPartFirst : 0) | p),
                           Bytes(part.begin() + long(at), part.begin() + long(at + n))});
        }
        if (!part.empty()) {
            Bytes end(5);
            PutLe32(end.data(), uint32_t(part.size()));
            end[4] = frameId;
            out.push_back({DvrCmdRecord, uint8_t(DvrFlagPartEnd | p), end});
        }
    }
    const auto bytes = h.ToBytes();
    out.push_back({DvrCmdRecord, DvrFlagRecordHeader, Bytes(bytes.begin(), bytes.end())});
    return out;
}

// The onpacket harness reads [cmd, flag, length low, length high, payload].
Bytes PacketBytes(const std::vector<Packet> &packets)
{
    Bytes out;
    for (const Packet &p : packets) {
        out.push_back(p.cmd);
        out.push_back(p.flag);
        out.push_back(uint8_t(p.payload.size()));
        out.push_back(uint8_t(p.payload.size() >> 8));
        out.insert(out.end(), p.payload.begin(), p.payload.end());
    }
    return out;
}

Bytes FileBytes(const std::string &path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    return Bytes(all.begin(), all.end());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <source tree>\n", argv[0]);
        return 2;
    }
    root = QString::fromLocal8Bit(argv[1]);

    const std::vector<Packet> replies = {
        {DvrCmdLogin, 0, {DvrLoginMaster, 16, 0x11, 0, 0, 0, 0, 0, 0}},
        {DvrCmdAlive, 0, {}},
        {DvrCmdBlockSearch, 0, Pattern(18, 5)},
        {DvrCmdStatus, 0, Pattern(64, 9)},
    };
    std::vector<Packet> withRecord = replies;
    for (const Packet &p : RecordPush(7, 1500, 20))
        withRecord.push_back(p);

    // TCP receiver: the first byte picks how many cut bytes follow, then the stream.
    Bytes tcp{3, 5, 17, 40};
    const Bytes frames = TcpFrames(withRecord);
    tcp.insert(tcp.end(), frames.begin(), frames.end());
    Write("fuzz", "tcp_receiver_fuzz", "replies_and_record", tcp);
    Bytes tcpWhole{0};
    const Bytes big = TcpFrames({{DvrCmdLogSearch, 0, Pattern(kMaxPayload, 3)}});
    tcpWhole.insert(tcpWhole.end(), big.begin(), big.end());
    Write("fuzz", "tcp_receiver_fuzz", "largest_payload", tcpWhole);

    // Serial receiver: stuffed frames, one of them full of bytes that need escaping.
    Bytes serial;
    for (const Packet &p : replies) {
        Bytes f;
        BuildSerialFrame(f, p.cmd, p.flag, p.payload.data(), int(p.payload.size()));
        serial.insert(serial.end(), f.begin(), f.end());
    }
    const Bytes escapes = {kSerialStart, kSerialEnd, kSerialEscape, 0x7B, 0x7E, 0x7D, 1, 2};
    Bytes f;
    BuildSerialFrame(f, DvrCmdEnvGet, 0, escapes.data(), int(escapes.size()));
    serial.insert(serial.end(), f.begin(), f.end());
    Write("fuzz", "serial_receiver_fuzz", "replies", serial);

    // The view's dispatcher: replies, a record, a segmented reply.
    Write("fuzz", "onpacket_fuzz", "replies_and_record", PacketBytes(withRecord));
    Bytes total(4);
    PutLe32(total.data(), 1500);
    const Bytes longReply = Pattern(1500, 4);
    Write("fuzz", "onpacket_fuzz", "segmented_reply",
          PacketBytes({{DvrCmdEnvGet, DvrFlagSegStart, total},
                       {DvrCmdEnvGet, DvrFlagSegData, Bytes(longReply.begin(), longReply.begin() + 1024)},
                       {DvrCmdEnvGet, DvrFlagSegData, Bytes(longReply.begin() + 1024, longReply.end())},
                       {DvrCmdEnvGet, DvrFlagSegEnd, total}}));

    // A configuration record: one of plain pattern bytes, one of the values a recorder keeps.
    Write("fuzz", "envrecord_fuzz", "pattern", Pattern(kDvrEnvRecordSize, 1));
    Bytes env(kDvrEnvRecordSize, 0);
    for (size_t i = 0; i < env.size(); ++i)
        env[i] = uint8_t(i % 7 == 0 ? 99 : i % 3 == 0 ? 2 : i % 5 == 0 ? 6 : i % 10);
    Write("fuzz", "envrecord_fuzz", "recorder_values", env);

    // The recorder simulator's session: framed requests after its login.
    Bytes play{2, 0, 1, 20, 26, 12, 10, 13, 14, 15};
    Write("dvrsim", "dvrsim_session_fuzz", "requests",
          TcpFrames({{DvrCmdAlive, 0, {}}, {DvrCmdMode, 0, {1, 0}}, {DvrCmdPlay, 0, play}, {DvrCmdStatus, 0, {}},
                     {DvrCmdDiskIndex, 0, {0}}, {DvrCmdBlockSearch, 0, Pattern(8, 1)}}));

    // A bitmap's data stream: width, height, then the pixels.
    TBitmap32 bitmap;
    bitmap.SetSize(3, 2);
    for (int i = 0; i < 6; ++i)
        bitmap.Bits()[i] = 0x80112233u * uint32_t(i + 1);
    QByteArray stream;
    QBuffer buffer(&stream);
    buffer.open(QIODevice::WriteOnly);
    bitmap.WriteData(buffer);
    Write("graphics", "graphics_readdata_fuzz", "bitmap_3x2", Bytes(stream.begin(), stream.end()));

    // A `.dvr` file of three small records, behind the two bytes that pick channel and direction:
    // small, so the fuzzer's mutations land in the headers the reader walks.
    const std::string dvr = QDir::tempPath().toStdString() + "/strandel_seed.dvr";
    DvrStoreContext w;
    w.channelCount = 4;
    if (StoreCreateFile(&w, dvr)) {
        for (int i = 0; i < 3; ++i) {
            uint8_t header[128] = {};
            header[0] = uint8_t(1 + i % 3);
            const uint8_t t[7] = {20, 26, 12, 10, 12, 0, uint8_t(i)};
            std::copy(t, t + 7, header + 37);
            const uint32_t size = 8 + 4 * uint32_t(i);
            PutLe32(header + 76, size);
            const Bytes data = Pattern(size, uint8_t(i));
            StoreAppendRecord(&w, header, data.data());
        }
        StoreCloseFile(&w);
    }
    for (const auto &[name, picks] : {std::pair{"forward", Bytes{1, 0x00}}, std::pair{"backward", Bytes{2, 0x06}}}) {
        Bytes seed = picks;
        const Bytes file = FileBytes(dvr);
        seed.insert(seed.end(), file.begin(), file.end());
        Write("store", "store_dvrfile_fuzz", name, seed);
    }
    std::remove(dvr.c_str());

    // Audio: one received block (step index within range) and a WAVE file of two blocks.
    Bytes block = Pattern(kImaBlockSize, 0x21);
    block[2] = 40;
    block[3] = 0;
    Write("audio", "adpcm_fuzz", "block", block);
    Bytes blocks = block;
    blocks.insert(blocks.end(), block.begin(), block.end());
    Write("audio", "adpcm_fuzz", "wave_two_blocks", WriteImaWav(blocks, 2 * kImaSamplesPerBlock));

    // The decoder: a short stream of the test data.
    Write("decoder", "decoder_fuzz", "i_64x48", FileBytes(root.toStdString() + "/tests/decoder/data/i_64x48.m4v"));
    return 0;
}
