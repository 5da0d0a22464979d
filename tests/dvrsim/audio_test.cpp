// The simulator's audio: what --audio accepts, and the options that reach it.
#include "platform/endian.h"
#include "tools/dvrsim/simaudio.h"
#include "viewer/audio/imaadpcm.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <fstream>

using namespace strandel;
using namespace strandel::sim;

namespace {

std::vector<uint8_t> PcmWav(uint32_t rate, uint16_t channels, uint16_t bits, const std::vector<int16_t> &samples)
{
    const uint32_t frame = channels * bits / 8u;
    const uint32_t data = uint32_t(samples.size()) * frame;
    std::vector<uint8_t> f(44 + data);
    std::memcpy(f.data(), "RIFF", 4);
    PutLe32(&f[4], 36 + data);
    std::memcpy(&f[8], "WAVEfmt ", 8);
    PutLe32(&f[16], 16);
    PutLe16(&f[20], 1);
    PutLe16(&f[22], channels);
    PutLe32(&f[24], rate);
    PutLe32(&f[28], rate * frame);
    PutLe16(&f[32], uint16_t(frame));
    PutLe16(&f[34], bits);
    std::memcpy(&f[36], "data", 4);
    PutLe32(&f[40], data);
    for (size_t i = 0; i < samples.size(); ++i)
        for (uint16_t c = 0; c < channels; ++c) {
            uint8_t *p = &f[44 + i * frame + c * bits / 8];
            if (bits == 8)
                *p = c == 0 ? Pcm16ToPcm8(samples[i]) : 0;
            else
                PutLe16(p, uint16_t(c == 0 ? samples[i] : 0));
        }
    return f;
}

void Write(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace

TEST(SimAudio, OptionsReachTheirFields)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--audio", "a.wav", "--audio-tone", "440", "--audio-save", "in.wav"}, o, error)) << error;
    EXPECT_EQ(o.audioFile, "a.wav");
    EXPECT_EQ(o.audioToneHz, 440);
    EXPECT_EQ(o.audioSave, "in.wav");
    SimOptions bad;
    EXPECT_FALSE(ParseSimOptions({"--audio-tone", "20"}, bad, error));
}

TEST(SimAudio, WaveFilesBecomeBlocksAndOthersAreRefusedWithAReason)
{
    QTemporaryDir dir;
    std::vector<int16_t> samples(3 * kImaSamplesPerBlock + 100);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(std::lround(20000 * std::sin(double(i) * 0.2)));
    // The 8-bit samples the encoder is expected to see.
    std::vector<uint8_t> pcm8(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        pcm8[i] = Pcm16ToPcm8(samples[i]);
    ImaStreamEncoder encoder;
    std::vector<uint8_t> expected;
    encoder.Encode(pcm8.data(), pcm8.size(), expected);

    struct Case {
        const char *name;
        std::vector<uint8_t> file;
        bool ok;
    } cases[] = {
        {"s16.wav", PcmWav(8000, 1, 16, samples), true},
        {"u8-stereo.wav", PcmWav(8000, 2, 8, samples), true},
        {"ima.wav", WriteImaWav(expected, uint32_t(expected.size() / kImaBlockSize * kImaSamplesPerBlock)), true},
        {"44k.wav", PcmWav(44100, 1, 16, samples), false},
        {"short.wav", PcmWav(8000, 1, 16, std::vector<int16_t>(100)), false},
        {"text.wav", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}, false},
    };
    for (const Case &c : cases) {
        SimOptions o;
        o.audioFile = dir.filePath(c.name).toStdString();
        Write(o.audioFile, c.file);
        std::vector<uint8_t> blocks;
        std::string error;
        EXPECT_EQ(LoadSimAudio(o, blocks, error), c.ok) << c.name << ": " << error;
        if (c.ok)
            EXPECT_EQ(blocks, expected) << c.name;
        else
            EXPECT_NE(error.find(o.audioFile), std::string::npos) << c.name << ": " << error;
    }
    SimOptions missing;
    missing.audioFile = dir.filePath("none.wav").toStdString();
    std::vector<uint8_t> blocks;
    std::string error;
    EXPECT_FALSE(LoadSimAudio(missing, blocks, error));
    // No file: a tone, whole blocks.
    ASSERT_TRUE(LoadSimAudio(SimOptions{}, blocks, error));
    EXPECT_EQ(blocks.size() % kImaBlockSize, 0u);
    EXPECT_FALSE(blocks.empty());
}
