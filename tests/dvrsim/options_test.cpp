#include "tools/dvrsim/simoptions.h"

#include <gtest/gtest.h>

using namespace strandel::sim;

TEST(SimOptions, DefaultsListenOnLoopback)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({}, o, error)) << error;
    EXPECT_EQ(o.listenHost, "127.0.0.1");
    EXPECT_EQ(o.listenPort, 5400);
    EXPECT_EQ(o.loginResult, 2);
    EXPECT_EQ(o.channels, 4);
    EXPECT_EQ(o.VideoByte(), 0x00);
    EXPECT_EQ(o.ChannelMask(), 0x0Fu);
}

TEST(SimOptions, EveryOptionReachesItsField)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--listen", "127.0.0.2:0", "--pty", "--login", "slave", "--channels", "16",
                                 "--ntsc", "--model", "1", "--mac", "01-02-03-0a-0B-ff", "--user", "admin",
                                 "--password", "1234", "--fps", "25", "--source", "pics", "--full-size", "--drop-after", "3", "--alive-timeout", "6",
                                 "--env", "a.env", "--transcript", "t.txt", "--fault", "bad-crc:3", "--fault",
                                 "garbage", "--fault", "bad-crc"},
                                o, error))
        << error;
    EXPECT_EQ(o.listenHost, "127.0.0.2");
    EXPECT_EQ(o.listenPort, 0);
    EXPECT_TRUE(o.pty);
    EXPECT_EQ(o.loginResult, 1);
    EXPECT_EQ(o.ChannelMask(), 0xFFFFu);
    EXPECT_EQ(o.VideoByte(), 0x11);
    EXPECT_EQ(o.mac, (std::array<uint8_t, 6>{1, 2, 3, 0x0A, 0x0B, 0xFF}));
    EXPECT_TRUE(o.checkLogin);
    EXPECT_EQ(o.user, "admin");
    EXPECT_EQ(o.password, "1234");
    EXPECT_EQ(o.fps, 25);
    EXPECT_EQ(o.source, "pics");
    EXPECT_TRUE(o.fullSize);
    EXPECT_EQ(o.dropAfter, 3);
    EXPECT_EQ(o.aliveTimeout, 6);
    EXPECT_EQ(o.envFile, "a.env");
    EXPECT_EQ(o.transcript, "t.txt");
    EXPECT_EQ(o.faults[size_t(FaultKind::BadCrc)], 4);
    EXPECT_EQ(o.faults[size_t(FaultKind::Garbage)], 1);
}

TEST(SimOptions, AnyChannelCountFromOneToSixteen)
{
    for (int channels : {1, 6, 10, 16}) {
        SimOptions o;
        std::string error;
        ASSERT_TRUE(ParseSimOptions({"--channels", std::to_string(channels)}, o, error)) << error;
        EXPECT_EQ(o.channels, channels);
        EXPECT_EQ(o.ChannelMask(), (1u << channels) - 1);
    }
}

TEST(SimOptions, VariantIsTheModelCode)
{
    const std::pair<std::vector<std::string>, std::pair<int, int>> cases[] = {
        {{}, {-1, 0}},
        {{"--model", "3"}, {-1, 3}},
        {{"--variant", "4"}, {4, 4}},
        {{"--variant", "2", "--model", "2"}, {2, 2}},
        {{"--variant", "0"}, {0, 0}},
    };
    for (const auto &[args, want] : cases) {
        SimOptions o;
        std::string error;
        ASSERT_TRUE(ParseSimOptions(args, o, error)) << error;
        EXPECT_EQ(o.variant, want.first);
        EXPECT_EQ(o.model, want.second);
    }
}

TEST(SimOptions, MakeFirmwareNeedsNothingToListenOn)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--no-tcp", "--make-firmware", "fw.bin", "--size", "2500", "--model", "1"}, o, error))
        << error;
    EXPECT_EQ(o.makeFirmware, "fw.bin");
    EXPECT_EQ(o.firmwareSize, 2500);
}

TEST(SimOptions, LoginResults)
{
    const std::pair<const char *, int> cases[] = {{"master", 2}, {"slave", 1}, {"busy", 3}, {"deny", 0}};
    for (auto [name, result] : cases) {
        SimOptions o;
        std::string error;
        ASSERT_TRUE(ParseSimOptions({"--login", name}, o, error)) << name;
        EXPECT_EQ(o.loginResult, result) << name;
    }
}

TEST(SimOptions, BadArgumentsAreRefusedWithAReason)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--channels", "0"},       {"--channels", "17"},     {"--channels"},           {"--model", "16"},      {"--fps", "0"},
        {"--fps", "12x"},          {"--mac", "01:02:03"},    {"--mac", "zz:02:03:04:05:06"},
        {"--listen", "5400"},      {"--listen", "h:70000"},  {"--login", "root"},    {"--fault", "melt"},
        {"--fault", "bad-crc:0"},  {"--no-tcp"},             {"--pty", "--serial", "/dev/ttyS0"},
        {"--bogus"},               {"--variant", "16"},      {"--variant", "1", "--model", "2"},
        {"--size", "19"},
    };
    for (const auto &args : cases) {
        SimOptions o;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}
