// The configuration records the simulator is built with, one per kind of recorder, and the
// status report it derives from the record it holds.
#include "tools/dvrsim/simenv.h"
#include "tools/dvrsim/simoptions.h"
#include "tools/dvrsim/simrecorder.h"

#include "platform/endian.h"
#include "viewer/protocol/dvrenvrecord.h"
#include "viewer/link/crc32.h"
#include "viewer/protocol/recordprogram.h"

#include <gtest/gtest.h>

using namespace strandel;
using namespace strandel::sim;

TEST(SimEnv, EveryKindHoldsValuesItsControlsShowWithinItsBudget)
{
    for (int channels : {1, 4, 6, 8, 16})
        for (int variant : {0, 1, 2, 4, 7})
            for (bool ntsc : {false, true}) {
                SCOPED_TRACE(testing::Message() << channels << " channels, variant " << variant << (ntsc ? " NTSC" : " PAL"));
                const auto env = BuildRecorderEnv({channels, ntsc, variant, 5400});
                ASSERT_EQ(env.size(), size_t(kDvrEnvRecordSize));
                // Every one-value field this recorder shows holds a value its control can show.
                for (const DvrEnvField &f : DvrEnvFields()) {
                    if (!(f.channels & EnvChannelBit(channels)) || f.encoding == EnvEncoding::Text ||
                        f.encoding == EnvEncoding::Title || f.encoding == EnvEncoding::Time ||
                        f.encoding == EnvEncoding::Block || f.encoding == EnvEncoding::Ip ||
                        f.encoding == EnvEncoding::Password)
                        continue;
                    for (int i = 0; i < f.count; ++i)
                        EXPECT_TRUE(DecodeEnvValue(f, env.data() + EnvElementOffset(f, i)).has_value())
                            << EnvControlName(f, i);
                }
                // Each program's rates fit the budget of the page set that shows them.
                const bool variantPages = UsesVariantPages(variant, channels);
                for (int p = 0; p < kEnvProgramCount; ++p) {
                    const uint8_t *b = env.data() + kEnvProgramOffset + kEnvProgramSize * p;
                    int normal[16] = {}, complex[16] = {}, sizes[16] = {};
                    bool counted[16] = {};
                    for (int ch = 0; ch < channels; ++ch) {
                        normal[ch] = b[prg::kNormal + 2 * ch];
                        complex[ch] = b[prg::kComplex + 2 * ch];
                        sizes[ch] = b[prg::kSize + ch];
                        counted[ch] = true;
                        EXPECT_LE(normal[ch], ntsc ? 30 : 25);
                    }
                    if (variantPages) {
                        const int group = variant == 1 ? 4 : 8;
                        for (int g = 0; g < 16; g += group) {
                            EXPECT_FALSE(GroupOver(GroupSum(normal + g, counted + g, group, sizes[g]))) << p;
                            EXPECT_FALSE(GroupOver(GroupSum(complex + g, counted + g, group, sizes[g]))) << p;
                        }
                    } else {
                        const int limit = FrameLimit(b[prg::kInterval], ntsc ? 120 : 100);
                        EXPECT_LE(FrameSum(normal, sizes, counted, channels), limit) << p;
                        EXPECT_LE(FrameSum(complex, sizes, counted, channels), limit) << p;
                    }
                }
            }
}

TEST(SimEnv, StatusReportFollowsTheRecordHeld)
{
    SimOptions options;
    options.channels = 4;
    SimRecorder recorder(options);
    auto status = recorder.Status();
    // As built: recording around the clock on program 2, repeat on, both disks recording.
    EXPECT_EQ(status[862], 2);
    EXPECT_EQ(status[864], 1);
    EXPECT_EQ(status[917], 1);
    EXPECT_EQ(status[203], 0);
    EXPECT_EQ(GetLe32(status.data() + 923), 0x55000000u); // "N " on the four channels
    EXPECT_EQ(GetLe32(status.data() + 913), 5400u);

    // What set-up changes shows: repeat off, bay 2 for backups, another address and port, no
    // recording in any hour, complex recording in the program outside the schedule.
    std::vector<uint8_t> env = recorder.Env();
    env[5729] = 0;
    env[7474] = 1;
    const uint8_t ip[12] = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7};
    std::copy(ip, ip + 12, env.begin() + 7522);
    NumberToDigits(env.data() + kEnvPortOffset, 5432, 4);
    for (int i = 0; i < 168; ++i)
        env[size_t(kEnvScheduleOffset + i)] = 6;
    env[size_t(kEnvProgramOffset + kEnvProgramSize * 6 + prg::kType)] = 1;
    ASSERT_TRUE(recorder.StoreEnv(env));
    status = recorder.Status();
    EXPECT_EQ(status[862], 6);
    EXPECT_EQ(status[863], 1);
    EXPECT_EQ(status[864], 0);
    EXPECT_EQ(status[917], 0);
    EXPECT_EQ(status[202 + 2], 1);                       // bay 2 keeps backups
    EXPECT_EQ(status[878], 2);
    EXPECT_EQ(GetLe32(status.data() + 854), GetLe32(status.data() + 846)); // one disk each way
    EXPECT_EQ(std::vector<uint8_t>(status.begin() + 897, status.begin() + 901), (std::vector<uint8_t>{10, 0, 0, 7}));
    EXPECT_EQ(GetLe32(status.data() + 913), 5432u);
    EXPECT_EQ(GetLe32(status.data() + 923), 0u);
}

TEST(SimEnv, AMadeFirmwareImageCarriesItsModelsTagAndCrc)
{
    for (uint8_t model : {0, 1, 9})
        for (size_t size : {size_t(20), size_t(2500), size_t(70000)}) {
            const auto image = MakeFirmwareImage(model, size);
            ASSERT_EQ(image.size(), size);
            EXPECT_STREQ(reinterpret_cast<const char *>(image.data() + size - 20), model ? "kxt52070" : "kxt52030");
            EXPECT_EQ(GetLe32(image.data() + size - 4), CrcUpdate(0, image.data(), int(size - 4)));
        }
}
