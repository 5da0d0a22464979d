// The decoder entry's operations, registration, loading by class identifier, and hostile input.
#include "decoder/classregistry.h"
#include "decoder/decode.h"
#include "decoder/state.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <random>
#include <thread>

namespace strandel::lumaset::test {
namespace {

DecoderState &StateOf(Instance &i) { return *static_cast<DecoderState *>(i.params().state); }

TEST(Entry, BufferSizes)
{
    DecoderParams p{};
    p.width = 720;
    p.height = 576;
    int32_t sizes[7] = {};
    ASSERT_EQ(Instance::Call(DecOptBufferSizes, &p, sizes), DecodeOk);
    const int32_t expected[7] = {800256, 800256, 800256, 622080, 723568, 11332, 2996};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(sizes[i], expected[i]) << i;

    const std::pair<int, int> bad[] = {{0, 576}, {720, 0}, {712, 576}, {720, 570}, {736, 576}, {720, 592}, {-16, 16}};
    for (auto [w, h] : bad) {
        p.width = w, p.height = h;
        EXPECT_EQ(Instance::Call(DecOptBufferSizes, &p, sizes), DecodeBadArgument) << w << "x" << h;
    }
    EXPECT_EQ(Instance::Call(DecOptBufferSizes, nullptr, sizes), DecodeBadArgument);
    EXPECT_EQ(DecodeEntry(0, DecOptBufferSizes, reinterpret_cast<intptr_t>(&p), reinterpret_cast<intptr_t>(sizes)),
              DecodeBadArgument);
}

TEST(Entry, InitValidatesAndStartsBlack)
{
    Instance inst(64, 48, OutputRgb24);
    ASSERT_TRUE(inst.ok());
    EXPECT_EQ(StateOf(inst).fixed_buffer, 0);
    DecoderParams p = inst.params();
    p.codec_type = 7;
    EXPECT_EQ(Instance::Call(DecOptInit, &p, nullptr), DecodeBadArgument);
    p = inst.params();
    p.frame_buffer[1] = nullptr;
    EXPECT_EQ(Instance::Call(DecOptInit, &p, nullptr), DecodeBadArgument);
    p = inst.params();
    p.state = static_cast<uint8_t *>(p.state) + 1;
    EXPECT_EQ(Instance::Call(DecOptInit, &p, nullptr), DecodeBadArgument);
    p = inst.params();
    p.width = 80;
    p.height = 600;
    EXPECT_EQ(Instance::Call(DecOptInit, &p, nullptr), DecodeBadArgument);

    int32_t fixed = 1;
    Instance fixedInst(64, 48, OutputRgb24, fixed);
    EXPECT_EQ(StateOf(fixedInst).fixed_buffer, 1);

    // A low-delay layer shows its first picture at once. Without the flag, pictures come out one
    // anchor late: the first shown is frame buffer 2 as initialisation left it, black.
    const auto frames = SplitFrames(ReadFile(DataPath("i_64x48.m4v")));
    std::vector<uint8_t> out(64 * 48 * 3, 0x55);
    ASSERT_EQ(inst.Decode(frames[0], out.data(), 0), DecodeOk);
    EXPECT_LT(std::count(out.begin(), out.end(), 0), long(out.size()) / 2);
    std::vector<uint8_t> delayed = frames[0];
    const uint8_t layer[] = {0, 0, 1, 0x20};
    const auto at = std::search(delayed.begin(), delayed.end(), std::begin(layer), std::end(layer));
    ASSERT_NE(at, delayed.end());
    ASSERT_TRUE(at[7] & 0x80) << "low_delay";
    at[7] &= 0x7F;
    Instance late(64, 48, OutputRgb24);
    ASSERT_EQ(late.Decode(delayed, out.data(), 0), DecodeOk);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), long(out.size()));
}

TEST(Entry, PostProcessingLevels)
{
    Instance inst(64, 48);
    const std::pair<int32_t, int> cases[] = {{1, 1},   {9, 1},   {10, 3},  {19, 3},  {20, 19}, {29, 19},
                                              {30, 23}, {39, 23}, {40, 31}, {49, 31}, {50, 63}, {100, 63}};
    for (auto [level, flags] : cases) {
        ASSERT_EQ(Instance::Call(DecOptPostProcessing, &level, nullptr), DecodeOk);
        EXPECT_EQ(StateOf(inst).postproc_on, 1) << level;
        EXPECT_EQ(StateOf(inst).postproc_flags, flags) << level;
    }
    for (int32_t bad : {101, -1}) {
        EXPECT_EQ(Instance::Call(DecOptPostProcessing, &bad, nullptr), DecodeBadArgument) << bad;
        EXPECT_EQ(StateOf(inst).postproc_flags, 63) << "changed by " << bad;
    }
    int32_t off = 0;
    EXPECT_EQ(Instance::Call(DecOptPostProcessing, &off, nullptr), DecodeOk);
    EXPECT_EQ(StateOf(inst).postproc_on, 0);
}

TEST(Entry, NoCurrentInstance)
{
    {
        Instance inst(64, 48);
        EXPECT_EQ(Instance::Call(DecOptRelease, nullptr, nullptr), DecodeOk);
    } // the blocks are freed here, after their release
    int32_t level = 10;
    EXPECT_EQ(Instance::Call(DecOptPostProcessing, &level, nullptr), DecodeFailed);
    DecoderParams p{};
    p.output_format = OutputRgb24;
    EXPECT_EQ(Instance::Call(DecOptOutputFormat, &p, nullptr), DecodeFailed);
    // A decode with blocks that never went through initialisation is refused.
    std::vector<uint64_t> block(LUMASET_STATE_SIZE / 8, 0);
    p.state = p.tables = p.stream = block.data();
    DecoderFrame f{};
    EXPECT_EQ(Instance::Call(DecOptDecode, &f, &p), DecodeBadArgument);
}

// Views decode on threads of their own. A release forgets the instance on every thread, so that
// no thread acts on blocks freed (here: taken over) after it; a call naming its instance still works.
TEST(Entry, ReleaseOnAnotherThreadForgetsTheInstanceEverywhere)
{
    const auto frames = SplitFrames(ReadFile(DataPath("i_64x48.m4v")));
    Instance x(64, 48, OutputRgb24);
    ASSERT_TRUE(x.ok());
    std::atomic<bool> ready{false}, released{false};
    int32_t post = -1, format = -1;
    std::thread view([&] {
        Instance::Call(DecOptInit, &x.params(), nullptr); // current on this thread
        ready = true;
        while (!released)
            std::this_thread::yield();
        int32_t level = 50;
        post = Instance::Call(DecOptPostProcessing, &level, nullptr);
        DecoderParams p{};
        p.output_format = OutputYuy2;
        format = Instance::Call(DecOptOutputFormat, &p, nullptr);
    });
    while (!ready)
        std::this_thread::yield();
    EXPECT_EQ(Instance::Call(DecOptRelease, nullptr, nullptr), DecodeOk);
    // The blocks go to a new instance at once, decoding while the other thread is still on.
    ASSERT_EQ(Instance::Call(DecOptInit, &x.params(), nullptr), DecodeOk);
    released = true;
    std::vector<uint8_t> out(64 * 48 * 4);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(x.Decode(frames[size_t(i) % frames.size()], out.data(), 0), DecodeOk);
    view.join();
    EXPECT_EQ(post, DecodeFailed);
    EXPECT_EQ(format, DecodeFailed);
    EXPECT_EQ(StateOf(x).postproc_on, 0);
    EXPECT_EQ(StateOf(x).output_format, OutputRgb24);

    // Named, the instance takes the settings whatever thread calls.
    int32_t level = 50;
    std::thread([&] {
        post = Instance::Call(DecOptPostProcessing, &level, &x.params());
        DecoderParams p = x.params();
        p.output_format = OutputYuy2;
        format = Instance::Call(DecOptOutputFormat, &p, nullptr);
    }).join();
    EXPECT_EQ(post, DecodeOk);
    EXPECT_EQ(format, DecodeOk);
    EXPECT_EQ(StateOf(x).postproc_flags, 63);
    EXPECT_EQ(StateOf(x).output_format, OutputYuy2);
    // A record that names no initialised instance is refused.
    DecoderParams stranger{};
    EXPECT_EQ(Instance::Call(DecOptPostProcessing, &level, &stranger), DecodeBadArgument);
}

TEST(Entry, OutputFormatSelection)
{
    Instance inst(64, 48, OutputRgb24);
    EXPECT_EQ(StateOf(inst).output_format, 5);
    EXPECT_EQ(StateOf(inst).direction, -1);
    DecoderParams p = inst.params();
    p.output_format = 12;
    EXPECT_EQ(Instance::Call(DecOptOutputFormat, &p, nullptr), DecodeOk);
    EXPECT_EQ(StateOf(inst).output_format, 5) << "unknown formats keep the converter";
    EXPECT_EQ(StateOf(inst).direction, 1);
    p.output_format = OutputRgb565TopDown;
    EXPECT_EQ(Instance::Call(DecOptOutputFormat, &p, nullptr), DecodeOk);
    EXPECT_EQ(StateOf(inst).output_format, 7);
    EXPECT_EQ(StateOf(inst).direction, 1);
}

TEST(Entry, CodecTypesWithoutIntegrityAndStatus)
{
    for (int32_t codec : {CodecJpeg, CodecMpeg2}) {
        Instance inst(64, 48);
        inst.params().codec_type = codec;
        ASSERT_EQ(Instance::Call(DecOptInit, &inst.params(), nullptr), DecodeOk);
        const std::vector<uint8_t> bits(64, 0xFF);
        std::vector<uint8_t> out(64 * 48 * 3 / 2);
        EXPECT_EQ(inst.Decode(bits, out.data(), 64), DecodeFailed) << codec;
        EXPECT_EQ(inst.lastFrame().error, 0) << codec;
    }
    int32_t frame = -1, mb = -1;
    EXPECT_EQ(Instance::Call(DecOptIntegrityStatus, &frame, &mb), DecodeIntegrityClean);
    EXPECT_EQ(frame, 0);
    EXPECT_EQ(mb, 0);
}

TEST(Entry, GarbageAndRenderOffLeaveTheOutput)
{
    Instance inst(64, 48, OutputRgb24);
    const auto frames = SplitFrames(ReadFile(DataPath("i_64x48.m4v")));
    std::vector<uint8_t> out(64 * 48 * 3, 0x55);
    const std::vector<uint8_t> garbage(300, 0x3C);
    EXPECT_EQ(inst.Decode(garbage, out.data(), 0), DecodeFailed);
    EXPECT_NE(inst.lastFrame().error, -1) << "the error field is written";
    EXPECT_EQ(std::count(out.begin(), out.end(), 0x55), long(out.size()));
    EXPECT_EQ(inst.Decode(frames[0], out.data(), 0, 0), DecodeOk);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0x55), long(out.size()));
    // The reference was updated: the next call shows frame 0.
    EXPECT_EQ(inst.Decode(frames[1], out.data(), 0), DecodeOk);
    EXPECT_LT(std::count(out.begin(), out.end(), 0), long(out.size()) / 2);
}

// The packed and planar formats write at the caller's pitch: one that does not hold a row is
// refused like a missing output, and nothing outside the picture is written.
TEST(Entry, OutputPitchBelowTheWidthIsRefused)
{
    const auto frames = SplitFrames(ReadFile(DataPath("i_64x48.m4v")));
    constexpr int w = 64, h = 48, guard = 4 * w * h;
    for (int format : {OutputYuy2, OutputUyvy, OutputYv12}) {
        Instance inst(w, h, format, 1); // fixed buffers: every call shows its own picture
        ASSERT_TRUE(inst.ok());
        const int bytesPerPitch = format == OutputYv12 ? 1 : 2, rows = format == OutputYv12 ? h * 3 / 2 : h;
        for (int32_t pitch : {w - 2, 0, -w, w, w + 8}) {
            SCOPED_TRACE(testing::Message() << "format " << format << " pitch " << pitch);
            // The picture in the middle of a larger block, so that a stray write shows.
            std::vector<uint8_t> block(size_t(guard + (w + 8) * bytesPerPitch * rows + guard), 0x5A);
            uint8_t *out = block.data() + guard;
            const bool fits = pitch >= w;
            EXPECT_EQ(inst.Decode(frames[0], out, pitch), fits ? DecodeOk : DecodeBadArgument);
            EXPECT_NE(inst.lastFrame().error, -1) << "the error field is written";
            const size_t picture = fits ? size_t(pitch * bytesPerPitch * rows) : 0;
            const long written = long(block.size()) - std::count(block.begin(), block.end(), 0x5A);
            EXPECT_EQ(std::count(block.begin(), block.begin() + guard, 0x5A), guard);
            EXPECT_EQ(std::count(out + picture, block.data() + block.size(), 0x5A), long(block.size() - guard - picture));
            EXPECT_EQ(written > 0, fits);
        }
    }
}

TEST(Convert, BlackWhiteAndRowDirection)
{
    struct Case {
        int format;
        uint8_t top[4], bottom[4]; // first output pixel bytes
        int bpp;
    };
    // The picture's top half is Y 235 (white), its bottom half Y 16 (black); U = V = 128.
    const Case cases[] = {
        {OutputRgb24, {0, 0, 0}, {255, 255, 255}, 3},
        {OutputRgb32, {0, 0, 0, 0}, {255, 255, 255, 0}, 4},
        {OutputRgb24TopDown, {255, 255, 255}, {0, 0, 0}, 3},
    };
    DecoderState *s = new DecoderState{};
    s->width = 16;
    s->height = 16;
    uint8_t y[16 * 16], u[8 * 8], v[8 * 8];
    std::memset(y, 235, 16 * 8);
    std::memset(y + 16 * 8, 16, 16 * 8);
    std::memset(u, 128, sizeof u);
    std::memset(v, 128, sizeof v);
    for (const Case &c : cases) {
        SelectConverter(*s, c.format);
        std::vector<uint8_t> out(size_t(16 * 16 * c.bpp) + 1, 0x77);
        Convert(*s, y, 16, u, v, 8, out.data(), 0);
        EXPECT_EQ(0, std::memcmp(out.data(), c.top, size_t(c.bpp))) << c.format;
        EXPECT_EQ(0, std::memcmp(out.data() + 15 * 16 * c.bpp, c.bottom, size_t(c.bpp))) << c.format;
        EXPECT_EQ(out.back(), 0x77) << "wrote past the picture, format " << c.format;
    }
    // Packed 4:2:2 (pitch in pixels) and the 16-bit RGB words, from the white top row.
    std::memset(u, 100, sizeof u);
    std::memset(v, 200, sizeof v);
    SelectConverter(*s, OutputYuy2);
    std::vector<uint8_t> packed(24 * 2 * 16, 0);
    Convert(*s, y, 16, u, v, 8, packed.data(), 24);
    EXPECT_EQ((std::vector<uint8_t>(packed.begin(), packed.begin() + 4)), (std::vector<uint8_t>{235, 100, 235, 200}));
    EXPECT_EQ(packed[48 * 15], 16) << "rows are twice the pitch apart";
    EXPECT_EQ(packed[32], 0) << "pitch padding untouched";
    SelectConverter(*s, OutputUyvy);
    Convert(*s, y, 16, u, v, 8, packed.data(), 24);
    EXPECT_EQ((std::vector<uint8_t>(packed.begin(), packed.begin() + 4)), (std::vector<uint8_t>{100, 235, 200, 235}));
    std::memset(u, 128, sizeof u);
    std::memset(v, 128, sizeof v);
    for (auto [format, word] : {std::pair{OutputRgb555TopDown, 0x7FFF}, std::pair{OutputRgb565TopDown, 0xFFFF}}) {
        SelectConverter(*s, format);
        std::vector<uint8_t> rgb(16 * 16 * 2);
        Convert(*s, y, 16, u, v, 8, rgb.data(), 0);
        EXPECT_EQ(rgb[0] | rgb[1] << 8, word) << format;
        EXPECT_EQ(rgb[2 * 16 * 15] | rgb[2 * 16 * 15 + 1] << 8, 0) << format;
    }
    // Planar: Y rows at the pitch, then V and U at half the pitch.
    SelectConverter(*s, OutputYv12);
    std::memset(u, 100, sizeof u);
    std::memset(v, 200, sizeof v);
    std::vector<uint8_t> planar(32 * 16 * 3 / 2, 0);
    Convert(*s, y, 16, u, v, 8, planar.data(), 32);
    EXPECT_EQ(planar[0], 235);
    EXPECT_EQ(planar[16], 0) << "pitch padding untouched";
    EXPECT_EQ(planar[32 * 15], 16);
    EXPECT_EQ(planar[32 * 16], 200) << "V first";
    EXPECT_EQ(planar[32 * 16 * 5 / 4], 100);
    delete s;
}

TEST(Registration, RoundTripAndLoadByClassId)
{
    const auto dir = std::filesystem::temp_directory_path() / ("lumaset-reg-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string registry = (dir / "Holvane" / "Classes.ini").string();
    setenv("STRANDEL_CLASS_REGISTRY", registry.c_str(), 1);
    // Someone else's entry stays as it was.
    ASSERT_TRUE(WriteClassRegistry(registry, {{"CLSID\\{00000000-1111-2222-3333-444444444444}",
                                               {{"InprocServer32", "/other.so"}}}}));

    void *lib = dlopen(LUMASET_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto reg = reinterpret_cast<int32_t (*)()>(dlsym(lib, "DllRegisterServer"));
    auto unreg = reinterpret_cast<int32_t (*)()>(dlsym(lib, "DllUnregisterServer"));
    ASSERT_TRUE(reg && unreg);
    ASSERT_EQ(reg(), 0);
    dlclose(lib);

    // The host's side: find the library by class identifier, load it, create the control.
    const std::string path = FindClassLibrary("{b1cebfff-befa-4734-9c86-5911949cfcbe}");
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(std::filesystem::equivalent(path, LUMASET_LIBRARY_PATH));
    void *host = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(host, nullptr);
    auto getClass = reinterpret_cast<int32_t (*)(const char *, void **)>(dlsym(host, "DllGetClassObject"));
    auto canUnload = reinterpret_cast<int32_t (*)()>(dlsym(host, "DllCanUnloadNow"));
    ASSERT_TRUE(getClass && canUnload);
    void *obj = reinterpret_cast<void *>(1);
    EXPECT_EQ(getClass("{00000000-0000-0000-0000-000000000000}", &obj), LUMASET_E_NOCLASS);
    EXPECT_EQ(obj, nullptr);
    ASSERT_EQ(getClass(LUMASET_CLSID, &obj), 0);
    auto *control = static_cast<LumasetControl *>(obj);
    EXPECT_EQ(canUnload(), LUMASET_S_FALSE);
    DecoderParams p{};
    p.width = 352;
    p.height = 288;
    int32_t sizes[7] = {};
    EXPECT_EQ(control->vtbl->RUviviz(control, 1, DecOptBufferSizes, reinterpret_cast<intptr_t>(&p),
                                     reinterpret_cast<intptr_t>(sizes)),
              DecodeOk);
    EXPECT_EQ(sizes[0], (352 + 64) * (288 + 64) + 2 * (176 + 64) * (144 + 64));
    EXPECT_EQ(control->vtbl->RUviviz(control, 0, DecOptBufferSizes, 0, 0), DecodeBadArgument);
    control->vtbl->AboutBox(control); // no widgets in this process: loads the module and returns
    EXPECT_EQ(control->vtbl->AddRef(control), 2);
    EXPECT_EQ(control->vtbl->Release(control), 1);
    EXPECT_EQ(control->vtbl->Release(control), 0);
    EXPECT_EQ(canUnload(), 0);
    // The property page class that registration names can be created too.
    ASSERT_EQ(getClass("{842f9335-3630-4f64-b8a0-774aa5b9d084}", &obj), 0);
    auto *page = static_cast<LumasetPropertyPage *>(obj);
    EXPECT_EQ(canUnload(), LUMASET_S_FALSE);
    EXPECT_STREQ(page->vtbl->Caption(page), "General");
    EXPECT_EQ(page->vtbl->CreatePage(page, nullptr), nullptr) << "no widgets in this process";
    EXPECT_EQ(page->vtbl->Release(page), 0);
    EXPECT_EQ(canUnload(), 0);

    const auto sections = ReadClassRegistry(registry);
    bool progId = false, typeLib = false;
    for (const auto &s : sections) {
        progId = progId || s.name == LUMASET_PROGID;
        typeLib = typeLib || s.name == std::string("TypeLib\\") + LUMASET_TYPELIB_ID + "\\1.0";
    }
    EXPECT_TRUE(progId && typeLib);

    auto unregHost = reinterpret_cast<int32_t (*)()>(dlsym(host, "DllUnregisterServer"));
    ASSERT_EQ(unregHost(), 0);
    EXPECT_TRUE(FindClassLibrary(LUMASET_CLSID).empty());
    EXPECT_EQ(FindClassLibrary("{00000000-1111-2222-3333-444444444444}"), "/other.so");
    dlclose(host);

    // A registry that cannot be written fails the first step.
    setenv("STRANDEL_CLASS_REGISTRY", "/proc/lumaset/Classes.ini", 1);
    void *again = dlopen(LUMASET_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    auto reg2 = reinterpret_cast<int32_t (*)()>(dlsym(again, "DllRegisterServer"));
    EXPECT_EQ(reg2(), LUMASET_E_TYPELIB);
    dlclose(again);
    unsetenv("STRANDEL_CLASS_REGISTRY");
    std::filesystem::remove_all(dir);
}

// Random and mutated streams through the decode entry: every input is an exactly-sized heap copy,
// so the sanitizers catch any read beyond it.
TEST(Hostile, RandomAndMutatedStreams)
{
    const auto frames = SplitFrames(ReadFile(DataPath("i_64x48.m4v")));
    const auto big = SplitFrames(ReadFile(DataPath("iq_176x144.m4v")));
    Instance inst(64, 48, OutputRgb24);
    Instance other(176, 144, OutputYv12);
    int32_t level = 100; // the deblocking filters see the damage too
    ASSERT_EQ(Instance::Call(DecOptPostProcessing, &level, nullptr), DecodeOk);
    std::vector<uint8_t> out(176 * 144 * 3);
    // Headers of predicted and bidirectional pictures, for noise to follow.
    std::vector<std::vector<uint8_t>> prefixes;
    for (int type : {1, 2}) {
        BitWriter w;
        VolSpec v;
        v.width = 64;
        v.height = 48;
        PutVol(w, v);
        PutVopHeader(w, type, 9, 5);
        prefixes.push_back(w.bytes());
    }
    // Video packets and B-pictures with their own instances.
    const auto packets = SplitFrames(ReadFile(DataPath("vp_128x96.m4v")));
    const auto bidir = SplitFrames(ReadFile(DataPath("b4v_96x64.m4v")));
    Instance packetInst(128, 96, OutputYv12), bidirInst(96, 64, OutputYv12);
    std::mt19937 rng(7);
    auto run = [&](Instance &i, const std::vector<uint8_t> &bits) {
        auto copy = std::make_unique<uint8_t[]>(bits.size() ? bits.size() : 1);
        std::copy(bits.begin(), bits.end(), copy.get());
        DecoderFrame f{out.data(), copy.get(), int32_t(bits.size()), 1, 176, 0};
        const int32_t r = Instance::Call(DecOptDecode, &f, &i.params());
        EXPECT_TRUE(r == DecodeOk || r == DecodeFailed);
        EXPECT_TRUE(f.error == 0 || f.error == DecodeErrorSyntax ||
                    (f.error >= DecodeErrorQuarterPel && f.error <= DecodeErrorPictureSize))
            << f.error;
    };
    for (int n = 0; n < 300; ++n) {
        // Mutations of real frames: flipped bits, cut tails, garbage splices. The 176x144 frames
        // also go into the small instance, whose layer header then disagrees with its size.
        const auto &src = n % 3 ? frames[size_t(n) % frames.size()] : big[size_t(n) % big.size()];
        std::vector<uint8_t> m = src;
        const int flips = 1 + int(rng() % 8);
        for (int k = 0; k < flips; ++k)
            m[40 + rng() % (m.size() - 40)] ^= uint8_t(1u << (rng() % 8));
        if (n % 4 == 0)
            m.resize(rng() % m.size());
        run(inst, m);
        run(n % 2 ? other : inst, m);
        // Pure noise, sometimes behind a valid header prefix.
        std::vector<uint8_t> noise(rng() % 600);
        for (uint8_t &b : noise)
            b = uint8_t(rng());
        if (n % 2) {
            std::vector<uint8_t> prefixed = n % 3 == 0 ? std::vector<uint8_t>(src.begin(), src.begin() + 45)
                                                       : prefixes[size_t(n % 3 - 1)];
            prefixed.insert(prefixed.end(), noise.begin(), noise.end());
            noise = prefixed;
        }
        run(inst, noise);
        run(other, noise);
    }
    for (int n = 0; n < 400; ++n) {
        const bool p = n % 2;
        const auto &src = p ? packets[size_t(n / 2) % packets.size()] : bidir[size_t(n / 2) % bidir.size()];
        std::vector<uint8_t> m = src;
        const int flips = 1 + int(rng() % 6);
        for (int k = 0; k < flips; ++k) {
            const size_t at = 30 + rng() % (m.size() - 30);
            if (n % 5 == 0)
                m[at] = 0; // false markers
            else
                m[at] ^= uint8_t(1u << (rng() % 8));
        }
        if (n % 7 == 0)
            m.resize(rng() % m.size());
        run(p ? packetInst : bidirInst, m);
    }
    // The instances still decode clean frames afterwards, and no syntax error marked the
    // integrity status.
    EXPECT_EQ(inst.Decode(frames[0], out.data(), 0), DecodeOk);
    EXPECT_EQ(inst.lastFrame().error, 0);
    EXPECT_EQ(packetInst.Decode(packets[0], out.data(), 128), DecodeOk);
    EXPECT_EQ(packetInst.lastFrame().error, 0);
    int32_t frame = -1, mb = -1;
    EXPECT_EQ(Instance::Call(DecOptIntegrityStatus, &frame, &mb), DecodeIntegrityClean);
}

} // namespace
} // namespace strandel::lumaset::test
