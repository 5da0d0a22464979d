// Real devices: a private PulseAudio daemon with a null sink. What is played into the sink comes
// back through its monitor, the default source. The suite starts its own daemon and stops it at
// the end (Qt reaches the sound server once per process, so one daemon serves the process); a
// test is skipped, saying why, only where the daemon cannot start.
#include "tests/audio/pulsedaemon.h"
#include "tools/dvrsim/simserver.h"
#include "viewer/app/forms.h"
#include "viewer/app/mainform.h"
#include "viewer/audio/waveaudio.h"
#include "viewer/controls/mybutton.h"
#include "viewer/view/dvrwin.h"

#include "platform/settings.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

using namespace strandel;

namespace {

bool ServeUntil(const std::function<bool()> &cond, int boundMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<int16_t> DecodeAll(const std::vector<uint8_t> &blocks)
{
    std::vector<int16_t> out;
    int16_t s[kImaSamplesPerBlock];
    for (size_t at = 0; at + kImaBlockSize <= blocks.size(); at += kImaBlockSize)
        if (DecodeImaBlock(&blocks[at], kImaBlockSize, s))
            out.insert(out.end(), s, s + kImaSamplesPerBlock);
    return out;
}

// The strongest frequency (Goertzel, 5 Hz steps) and its share of the signal's energy.
double DominantHz(const std::vector<int16_t> &x, double *share = nullptr)
{
    double best = 0, bestPower = 0, energy = 0;
    for (int16_t v : x)
        energy += double(v) * v;
    for (double hz = 100; hz < 3900; hz += 5) {
        const double c = 2 * std::cos(2 * M_PI * hz / 8000);
        double s1 = 0, s2 = 0;
        for (int16_t v : x) {
            const double s0 = v + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = hz;
        }
    }
    if (share) // a pure tone of N samples gives power N/2 x its energy
        *share = energy > 0 ? bestPower / (energy * double(x.size()) / 2) : 0;
    return best;
}

class Pulse : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        daemon = new test::PulseDaemon;
        if (!daemon->Start(why))
            why = "no PulseAudio daemon: " + why;
        else if (!HasAudioOutput() || !HasAudioInput())
            why = "the PulseAudio daemon runs but Qt sees no device through it";
    }
    static void TearDownTestSuite()
    {
        delete daemon;
        daemon = nullptr;
    }
    void SetUp() override
    {
        if (!why.empty())
            GTEST_SKIP() << why;
    }
    static inline test::PulseDaemon *daemon = nullptr;
    static inline std::string why;
};

} // namespace

TEST_F(Pulse, ATonePlayedIntoTheSinkComesBackFromItsMonitor)
{
    WavePlayback playback(nullptr);
    WaveCapture capture(nullptr);
    std::vector<uint8_t> captured;
    ASSERT_TRUE(capture.Open([&](WaveHeader &h) {
        uint8_t out[2 * kImaBlockSize];
        const size_t n = capture.OnData(h, out, sizeof out);
        captured.insert(captured.end(), out, out + n);
    }));
    ASSERT_TRUE(playback.Open());
    ASSERT_TRUE(capture.Start());

    // 1250 Hz as the recorder would send it, fed as the ring empties.
    std::vector<int16_t> tone(kImaSamplesPerBlock * 80);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = int16_t(std::lround(20000 * std::sin(2 * M_PI * 1250 * double(i) / 8000)));
    std::vector<uint8_t> blocks(80 * kImaBlockSize);
    ImaEncoderState state;
    for (size_t b = 0; b < 80; ++b)
        EncodeImaBlock(&tone[b * kImaSamplesPerBlock], state, &blocks[b * kImaBlockSize]);
    size_t next = 0;
    const bool heard = ServeUntil(
        [&] {
            while (next < 80 && playback.Queued() < 30)
                playback.Play(&blocks[(next++) * kImaBlockSize], kImaBlockSize);
            // The last second of capture holds the tone once it is well under way.
            if (captured.size() < 48 * kImaBlockSize || !playback.IsStarted())
                return false;
            std::vector<uint8_t> tail(captured.end() - 16 * kImaBlockSize, captured.end());
            double share = 0;
            return std::abs(DominantHz(DecodeAll(tail), &share) - 1250) <= 10 && share > 0.5;
        },
        15000);
    capture.Close();
    playback.Close();
    ASSERT_TRUE(heard) << "captured " << captured.size() / kImaBlockSize << " blocks";
}

namespace {

// A simulator on loopback, the main window and one view of it; all gone at the end of the test.
struct SimMainAndView {
    QTemporaryDir dir;
    sim::DvrSimServer server;
    TfrmMain *main = nullptr;
    TfrmDvrWin *view = nullptr;
    DvrListRecord entry;
    std::string error;
    bool started = false;

    static sim::SimOptions Options(sim::SimOptions o)
    {
        o.listenPort = 0;
        o.fps = 1;
        return o;
    }
    explicit SimMainAndView(const sim::SimOptions &options) : server(Options(options))
    {
        SetSettingsFilePath(dir.filePath("Strandel.ini"));
        started = server.Start(error);
        if (!started)
            return;
        main = new TfrmMain;
        frmMain = main;
        main->show();
        entry.kind = uint8_t(DvrKind::Network);
        entry.ip = {127, 0, 0, 1};
        entry.port = uint16_t(server.TcpPort());
        SetField(entry.name, "sim");
        view = new TfrmDvrWin;
    }
    ~SimMainAndView()
    {
        if (main) {
            main->RemoveAllDvrWins();
            QApplication::processEvents();
            frmMain = nullptr;
            delete main;
            QApplication::processEvents();
        }
        server.Stop();
        SetSettingsFilePath({});
    }
};

} // namespace

// dvrsim's tone -> viewer decode -> playback -> null sink -> monitor -> capture -> encode -> dvrsim.
TEST_F(Pulse, ToneFromTheSimulatorComesBackToIt)
{
    sim::SimOptions options;
    options.audioToneHz = 850;
    SimMainAndView t(options);
    ASSERT_TRUE(t.started) << t.error;
    auto &server = t.server;
    TfrmMain *main = t.main;
    TfrmDvrWin *view = t.view;
    bool heard = false;
    double hz = 0;
    if (view->OpenDvr(&t.entry) && ServeUntil([&] { return view->IsLoggedIn(); }, 20000)) {
        EXPECT_TRUE(main->btnAudSend->isEnabled());
        main->btnAudRecv->click();
        main->btnAudSend->click();
        EXPECT_TRUE(main->IsPlaybackOpen());
        EXPECT_TRUE(main->IsCaptureRunning());
        heard = ServeUntil(
            [&] {
                const std::vector<uint8_t> got = server.WithRecorder([](sim::SimRecorder &r) { return r.ReceivedAudio(); });
                if (got.size() < 16 * kImaBlockSize)
                    return false;
                std::vector<uint8_t> tail(got.end() - 16 * kImaBlockSize, got.end());
                double share = 0;
                hz = DominantHz(DecodeAll(tail), &share);
                return std::abs(hz - 850) <= 10 && share > 0.5;
            },
            20000);
    } else {
        ADD_FAILURE() << "the view did not log in";
    }
    EXPECT_TRUE(heard) << "last frequency found " << hz << " Hz";
}

namespace {

// pactl against the suite's daemon (PULSE_SERVER is set); its standard output.
std::string Pactl(const std::string &args)
{
    std::string out;
    if (FILE *p = popen(("pactl " + args + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

std::string MicModule()
{
    const std::string list = Pactl("list short modules");
    for (size_t at = 0; at < list.size();) {
        const size_t end = list.find('\n', at);
        const std::string line = list.substr(at, end - at);
        if (line.find("module-remap-source") != std::string::npos && line.find("strandel_mic") != std::string::npos)
            return line.substr(0, line.find('\t'));
        at = end == std::string::npos ? list.size() : end + 1;
    }
    return {};
}

void LoadMic()
{
    Pactl(std::string("load-module ") + test::kPulseMicModule);
    Pactl("set-default-source strandel_mic");
}

} // namespace

// The microphone goes while A Send is on: the button goes up and out of reach, capture stops and
// the recorder is told audio is off. It comes back: A Send can be pressed again, no restart.
TEST_F(Pulse, ASendFollowsTheMicrophoneGoingAndComing)
{
    const std::string module = MicModule();
    ASSERT_FALSE(module.empty()) << Pactl("list short modules");
    SimMainAndView t({});
    ASSERT_TRUE(t.started) << t.error;
    auto &server = t.server;
    TfrmMain *main = t.main;
    TfrmDvrWin *view = t.view;
    const auto received = [&] { return server.WithRecorder([](sim::SimRecorder &r) { return r.AudioBlocksReceived(); }); };
    bool reloaded = false;
    if (view->OpenDvr(&t.entry) && ServeUntil([&] { return view->IsLoggedIn(); }, 20000)) {
        ASSERT_TRUE(main->btnAudSend->isEnabled());
        main->btnAudSend->click();
        EXPECT_TRUE(main->IsCaptureRunning());
        EXPECT_TRUE(view->IsAudioSend());
        EXPECT_TRUE(ServeUntil([&] { return received() > 4; }, 10000));

        Pactl("unload-module " + module);
        EXPECT_TRUE(ServeUntil([&] { return !main->btnAudSend->isEnabled(); }, 10000)) << "the button stays usable";
        EXPECT_FALSE(main->btnAudSend->Down());
        EXPECT_FALSE(main->IsCaptureRunning());
        EXPECT_FALSE(view->IsAudioSend()) << "the recorder was not told";
        ServeUntil([] { return false; }, 300);
        const uint64_t after = received();
        ServeUntil([] { return false; }, 500);
        EXPECT_EQ(received(), after) << "audio still reaches the recorder";

        LoadMic();
        reloaded = true;
        EXPECT_TRUE(ServeUntil([&] { return main->btnAudSend->isEnabled(); }, 10000)) << "the new microphone is not offered";
        main->btnAudSend->click();
        EXPECT_TRUE(main->IsCaptureRunning());
        EXPECT_TRUE(view->IsAudioSend());
        const uint64_t before = received();
        EXPECT_TRUE(ServeUntil([&] { return received() > before + 4; }, 10000));
    } else {
        ADD_FAILURE() << "the view did not log in";
    }
    if (!reloaded) {
        LoadMic();
    }
}
