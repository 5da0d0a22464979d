// Bytes from a hostile client, through the TCP receiver, into a logged-in session: the
// simulator must neither crash nor misbehave. A libFuzzer entry (clang builds) and a test.
#include "tools/dvrsim/simsession.h"

#include "viewer/protocol/dvrcommand.h"
#include "viewer/link/dvrframing.h"

#include <cstddef>
#include <cstdint>
#include <random>

using namespace strandel;
using namespace strandel::sim;

namespace {

class NullLink : public SimLink {
public:
    void SendPacket(uint8_t, uint8_t, const uint8_t *, size_t length, FrameFault) override { sent += length; }
    size_t Backlog() const override { return 0; }
    const std::string &Name() const override { return name; }
    size_t sent = 0;
    std::string name = "fuzz";
};

class TinySource : public SteadySource {
public:
    TinySource() : SteadySource(5) {}
    bool Get(int, uint64_t, SimVideo &out) override
    {
        out.part0.assign(40, 0x11);
        return true;
    }
};

} // namespace

int StrandelSimSessionFuzz(const uint8_t *data, size_t size)
{
    static const SimOptions options;
    SimRecorder recorder(options);
    TinySource source;
    NullLink link;
    SimFaults faults{};
    SimSession session(recorder, source, options, link, faults, nullptr);
    const auto login = BuildLogin("", "");
    const PacketHeader h{DvrCmdLogin, 0, uint16_t(login.size())};
    session.OnPacket(h, login.data());
    TcpReceiver rx;
    auto t = SimSession::Clock::now();
    // The input in slices, with time moving on between them.
    for (size_t at = 0; at < size; at += 257) {
        rx.Feed(data + at, std::min<size_t>(257, size - at),
                [&](const PacketHeader &ph, const uint8_t *p) { session.OnPacket(ph, p); });
        t += std::chrono::milliseconds(300);
        session.Tick(t);
    }
    return 0;
}

#ifdef STRANDEL_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return StrandelSimSessionFuzz(data, size); }
#else
#include <gtest/gtest.h>

TEST(SimSessionFuzz, RandomFramesIntoALoggedInSession)
{
    // Well-framed packets of random commands and flags, so the bytes get past the CRC.
    std::mt19937 rng(11);
    for (int run = 0; run < 20; ++run) {
        std::vector<uint8_t> wire;
        for (int i = 0; i < 300; ++i) {
            std::vector<uint8_t> p(rng() % 6 == 0 ? rng() % 1025 : rng() % 24);
            for (auto &b : p)
                b = uint8_t(rng());
            const size_t at = wire.size();
            wire.resize(at + kTcpFrameOverhead + p.size());
            BuildTcpFrame(wire.data() + at, uint8_t(rng() % 40), uint8_t(rng() % 4 == 0 ? rng() : 0), p.data(),
                          uint32_t(p.size()));
        }
        EXPECT_EQ(StrandelSimSessionFuzz(wire.data(), wire.size()), 0);
    }
}
#endif
