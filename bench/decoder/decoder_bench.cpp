// Decoding speed of lumaset against ffmpeg on one thread, on the same MPEG-4 streams (I/P, and
// I/P/B). The 704x480 and 720x576 streams are made with ffmpeg when it is installed; without it
// only the committed test streams are measured. Prints frames per second and the ratio to ffmpeg
// (its whole run less its start-up), and for decoding alone also the ratio to ffmpeg's own timing
// of its decoder calls, which leaves out its demuxing and muxing too.
#include "tests/decoder/instance.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

struct Stream {
    std::string name, path;
    int width, height;
    std::vector<std::vector<uint8_t>> frames;
};

using strandel::lumaset::test::Instance;
using strandel::lumaset::test::ReadFile;
using strandel::lumaset::test::SplitFrames;

// An RGB instance with its picture, left as initialisation set it (not selected).
struct Decoder {
    Instance inst;
    std::vector<uint8_t> out;

    Decoder(int w, int h) : inst(w, h, OutputRgb24, 0, CodecMpeg4, nullptr), out(size_t(w) * size_t(h) * 3) {}

    // Returns whether the frame decoded clean, so that a fast figure is not a broken decode.
    bool Decode(const std::vector<uint8_t> &bits, bool render)
    {
        return inst.Decode(bits, out.data(), inst.params().width, render) == DecodeOk && inst.lastFrame().error == 0;
    }
};

std::map<std::string, double> fps; // by benchmark name, for the closing summary

void RecordFps(benchmark::State &state, const std::string &name, size_t frames, double seconds)
{
    const double rate = seconds > 0 ? double(frames) / seconds : 0;
    state.counters["fps"] = rate;
    fps[name] = rate;
}

void BenchLumaset(benchmark::State &state, const Stream *s, bool render, std::string name)
{
    Decoder d(s->width, s->height);
    // The fastest pass counts, as for ffmpeg: both figures are what the machine allows unloaded.
    // Each call is timed too, for the comparison with ffmpeg's own timing of its calls.
    double best = 0;
    std::vector<double> calls(s->frames.size(), 0.0);
    int64_t failed = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        auto before = t0;
        for (size_t i = 0; i < s->frames.size(); ++i) {
            failed += !d.Decode(s->frames[i], render);
            const auto after = std::chrono::steady_clock::now();
            const double call = std::chrono::duration<double>(after - before).count();
            calls[i] = calls[i] == 0 || call < calls[i] ? call : calls[i];
            before = after;
        }
        const double seconds = std::chrono::duration<double>(before - t0).count();
        best = best == 0 || seconds < best ? seconds : best;
        benchmark::DoNotOptimize(d.out.data());
    }
    if (failed)
        state.SkipWithError("frames failed to decode");
    RecordFps(state, name, s->frames.size(), best);
    double sum = 0;
    for (double c : calls)
        sum += c;
    fps["lumaset-calls/" + name.substr(name.find('/') + 1)] = sum > 0 ? double(s->frames.size()) / sum : 0;
}

double RunSeconds(const std::string &cmd)
{
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return rc == 0 ? s : -1;
}

// ffmpeg's own timing of its decoder calls (-benchmark_all): the real time of each call in
// microseconds, in call order; empty when ffmpeg fails.
std::vector<double> FfmpegDecodeCalls(const std::string &path)
{
    const std::string cmd = "ffmpeg -nostdin -loglevel info -threads 1 -benchmark_all -i " + path + " -f null - 2>&1";
    std::vector<double> calls;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return calls;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        long long user = 0, sys = 0, real = 0;
        char what[64] = {};
        if (std::sscanf(line, "bench: %lld user %lld sys %lld real %63s", &user, &sys, &real, what) == 4 &&
            std::strcmp(what, "decode_video") == 0)
            calls.push_back(double(real));
    }
    if (pclose(p) != 0)
        calls.clear();
    return calls;
}

// Decoding alone, stricter: ffmpeg's decoder calls as ffmpeg times them, each call at its fastest
// over the runs, so that neither its start-up nor its muxing to nowhere nor a disturbed run counts.
void BenchFfmpegDecode(benchmark::State &state, const Stream *s, std::string name)
{
    std::vector<double> best;
    for (auto _ : state) {
        const std::vector<double> calls = FfmpegDecodeCalls(s->path);
        if (calls.empty() || (!best.empty() && calls.size() != best.size())) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        if (best.empty())
            best = calls;
        for (size_t i = 0; i < calls.size(); ++i)
            best[i] = std::min(best[i], calls[i]);
    }
    double micros = 0;
    for (double c : best)
        micros += c;
    const double rate = micros > 0 ? double(s->frames.size()) / (micros / 1e6) : 0;
    state.counters["fps"] = rate;
    fps[name] = rate;
}

// ffmpeg runs as a process: its start-up is measured on the first frame alone and taken off.
void BenchFfmpeg(benchmark::State &state, const Stream *s, bool render, std::string name)
{
    const std::string head = "ffmpeg -loglevel error -threads 1 -i " + s->path + (render ? " -pix_fmt bgr24" : "");
    const std::string all = head + " -f null - >/dev/null 2>&1";
    const std::string one = head + " -frames:v 1 -f null - >/dev/null 2>&1";
    // The fastest whole run less the fastest start-up: other work on the machine slows a
    // process start far more than a decode loop, and the ratio should not flatter us.
    double bestFull = 0, bestStartup = 0;
    for (auto _ : state) {
        const double full = RunSeconds(all), startup = RunSeconds(one);
        if (full < 0 || startup < 0)
            state.SkipWithError("ffmpeg failed");
        bestFull = bestFull == 0 || full < bestFull ? full : bestFull;
        bestStartup = bestStartup == 0 || startup < bestStartup ? startup : bestStartup;
    }
    const double seconds = bestFull - bestStartup;
    const double rate = seconds > 0 ? double(s->frames.size() - 1) / seconds : 0;
    state.counters["fps"] = rate;
    fps[name] = rate;
}

bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

} // namespace

int main(int argc, char **argv)
{
    const bool ffmpeg = HaveFfmpeg();
    std::vector<Stream> streams;
    const std::string dir = "/tmp/lumaset-bench-" + std::to_string(getpid());
    if (ffmpeg) {
        std::system(("mkdir -p " + dir).c_str());
        // I/P streams at both recorder sizes, and one with two B-pictures between anchors.
        struct Made {
            const char *kind;
            int w, h, bframes;
        };
        for (const Made m : {Made{"ip", 704, 480, 0}, Made{"ip", 720, 576, 0}, Made{"ipb", 704, 480, 2}}) {
            const std::string size = std::to_string(m.w) + "x" + std::to_string(m.h);
            const std::string name = std::string(m.kind) + "_" + size;
            const std::string path = dir + "/" + name + ".m4v";
            const std::string cmd = "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=" + size +
                                    ":rate=25 -frames:v 300 -threads 1 -c:v mpeg4 -bf " +
                                    std::to_string(m.bframes) + " -flags +bitexact -g 50 -q:v 4 -f m4v " + path;
            if (std::system(cmd.c_str()) == 0)
                streams.push_back({name, path, m.w, m.h, SplitFrames(ReadFile(path))});
        }
    }
    const std::string fixture = std::string(STRANDEL_TEST_DATA) + "/data/p4q_96x64.m4v";
    streams.push_back({"p4q_96x64", fixture, 96, 64, SplitFrames(ReadFile(fixture))});

    for (const Stream &s : streams) {
        for (bool render : {false, true}) {
            const std::string mode = render ? "/decode+rgb24" : "/decode";
            benchmark::RegisterBenchmark(("lumaset/" + s.name + mode).c_str(), BenchLumaset, &s, render,
                                         "lumaset/" + s.name + mode)->Unit(benchmark::kMillisecond);
            // A process start outweighs the few small frames of a test stream: ffmpeg is timed
            // on the generated streams only.
            if (ffmpeg && s.path != fixture) {
                benchmark::RegisterBenchmark(("ffmpeg/" + s.name + mode).c_str(), BenchFfmpeg, &s, render,
                                             "ffmpeg/" + s.name + mode)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->Iterations(5);
                if (!render)
                    benchmark::RegisterBenchmark(("ffmpeg-calls/" + s.name + mode).c_str(), BenchFfmpegDecode, &s,
                                                 "ffmpeg-calls/" + s.name + mode)
                        ->Unit(benchmark::kMillisecond)
                        ->UseRealTime()
                        ->Iterations(5);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // Whole runs: ours at its fastest pass, ffmpeg's whole process less its start-up. Calls: each
    // decode call at its fastest over the runs, ours as ffmpeg's (decoding alone).
    std::printf("\n%-28s %12s %12s %8s %14s %14s %8s\n", "stream/mode", "lumaset fps", "ffmpeg fps", "ratio",
                "lumaset calls", "ffmpeg calls", "ratio");
    for (const Stream &s : streams)
        for (const char *mode : {"/decode", "/decode+rgb24"}) {
            const double ours = fps["lumaset/" + s.name + mode], theirs = fps["ffmpeg/" + s.name + mode];
            const double ourCalls = fps["lumaset-calls/" + s.name + mode];
            const double calls = fps["ffmpeg-calls/" + s.name + mode];
            std::printf("%-28s %12.0f %12.0f %8.2f %14.0f %14.0f %8.2f\n", (s.name + mode).c_str(), ours, theirs,
                        theirs > 0 ? ours / theirs : 0.0, ourCalls, calls, calls > 0 ? ourCalls / calls : 0.0);
        }
    if (ffmpeg)
        std::system(("rm -rf " + dir).c_str());
    return 0;
}
