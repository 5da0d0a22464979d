// The control shell: the decoder entry behind RUviviz, the control object and the library exports.
#include "decoder/entry.h"

#include "decoder/classregistry.h"
#include "decoder/decode.h"
#include "decoder/headers.h"
#include "decoder/jpegparse.h"
#include "decoder/mpeg2parse.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <new>
#include <string>

namespace strandel::lumaset {
namespace {

// The working set of the calling thread: views decode on threads of their own, and every call
// names its context again.
thread_local Context current{};
// Releases so far. A release on any thread forgets every thread's working set made before it,
// as its blocks may be freed next; a thread notices at its next call.
std::atomic<uint64_t> releases{0};
thread_local uint64_t currentSince = 0;

void MakeCurrent(const Context &c)
{
    current = c;
    currentSince = releases.load(std::memory_order_acquire);
}

// The calling thread's current state, or null when none is set or a release came since.
DecoderState *CurrentState()
{
    if (currentSince != releases.load(std::memory_order_acquire))
        current = Context{};
    return current.s;
}

template <typename T>
bool Aligned(const void *p)
{
    return p && reinterpret_cast<uintptr_t>(p) % alignof(T) == 0;
}

bool ValidSize(int32_t w, int32_t h)
{
    return w > 0 && h > 0 && w % 16 == 0 && h % 16 == 0 && w <= kMaxWidth && h <= kMaxHeight;
}

bool ValidCodec(int32_t codec) { return codec == CodecMpeg4 || codec == CodecMpeg2 || codec == CodecJpeg; }

bool ValidBlocks(const DecoderParams &p)
{
    return Aligned<DecoderState>(p.state) && Aligned<DecoderTables>(p.tables) &&
           Aligned<DecoderStream>(p.stream);
}

bool Initialised(const DecoderParams &p)
{
    return ValidBlocks(p) && static_cast<const DecoderState *>(p.state)->initialised == kInitialisedMagic;
}

// The packed and planar formats write rows at the caller's pitch (pixels, or luma bytes); one
// below the width would write outside the caller's picture. The RGB formats have no pitch.
bool PitchHoldsARow(const DecoderState &s, int32_t pitch)
{
    const bool pitched = s.output_format == OutputYuy2 || s.output_format == OutputUyvy || s.output_format == OutputYv12;
    return !pitched || pitch >= s.width;
}

Context ContextOf(const DecoderParams &p)
{
    return Context{static_cast<DecoderState *>(p.state), static_cast<DecoderTables *>(p.tables),
                   static_cast<DecoderStream *>(p.stream)};
}

int32_t BufferSizes(const DecoderParams *p, int32_t *sizes)
{
    if (!p || !sizes || !ValidSize(p->width, p->height))
        return DecodeBadArgument;
    const int32_t w = p->width, h = p->height;
    const int32_t frame = (w + 64) * (h + 64) + 2 * ((w >> 1) + 64) * ((h >> 1) + 64);
    sizes[0] = sizes[1] = sizes[2] = frame;
    sizes[3] = w * h + 2 * ((w * h) >> 2);
    sizes[4] = LUMASET_STATE_SIZE;
    sizes[5] = LUMASET_TABLES_SIZE;
    sizes[6] = LUMASET_STREAM_SIZE;
    return DecodeOk;
}

int32_t Init(const DecoderParams *p, const int32_t *fixed)
{
    if (!p || !ValidSize(p->width, p->height) || !ValidCodec(p->codec_type) || !ValidBlocks(*p) ||
        !p->frame_buffer[0] || !p->frame_buffer[1] || !p->frame_buffer[2] || !p->display_buffer)
        return DecodeBadArgument;
    MakeCurrent(ContextOf(*p));
    InitInstance(current, *p, fixed ? *fixed : 0);
    return DecodeOk;
}

int32_t Decode(DecoderFrame *f, const DecoderParams *p)
{
    if (!f || !p || !Initialised(*p))
        return DecodeBadArgument;
    MakeCurrent(ContextOf(*p));
    DecoderState &s = *current.s;
    bool ok = false;
    if (s.codec_type == CodecMpeg4) {
        if (f->render && (!f->output || !PitchHoldsARow(s, f->output_pitch))) {
            f->error = s.error;
            return DecodeBadArgument;
        }
        ok = f->bitstream && f->length > 0 && DecodeMpeg4Frame(current, *f);
    }
    // The MPEG-1/2 and JPEG paths only verify pictures, and only while checking is on.
    if (s.codec_type == CodecJpeg && s.integrity_on)
        ok = DecodeJpegFrame(current, *f);
    if (s.codec_type == CodecMpeg2 && s.integrity_on)
        ok = DecodeMpeg12Frame(current, *f);
    f->error = s.error;
    return ok ? DecodeOk : DecodeFailed;
}

} // namespace

int32_t DecodeEntry(intptr_t handle, intptr_t dec_opt, intptr_t param1, intptr_t param2)
{
    if (handle == 0)
        return DecodeBadArgument;
    void *p1 = reinterpret_cast<void *>(param1);
    void *p2 = reinterpret_cast<void *>(param2);
    switch (dec_opt) {
    case DecOptBufferSizes:
        return BufferSizes(static_cast<const DecoderParams *>(p1), static_cast<int32_t *>(p2));
    case DecOptInit:
        return Init(static_cast<const DecoderParams *>(p1), static_cast<const int32_t *>(p2));
    case DecOptRelease:
        // The caller frees the blocks next: forget them on every thread, so that no later call
        // touches freed memory.
        releases.fetch_add(1, std::memory_order_acq_rel);
        current = Context{};
        return DecodeOk;
    case DecOptPostProcessing: {
        // param2 may name the instance; without it the calling thread's current one.
        const DecoderParams *named = static_cast<const DecoderParams *>(p2);
        if (!p1 || (named && !Initialised(*named)))
            return DecodeBadArgument;
        const uint32_t level = *static_cast<const uint32_t *>(p1);
        if (level > 100)
            return DecodeBadArgument;
        DecoderState *s = named ? static_cast<DecoderState *>(named->state) : CurrentState();
        if (!s)
            return DecodeFailed;
        SetPostProcessing(*s, level);
        return DecodeOk;
    }
    case DecOptOutputFormat: {
        // The record names its instance when it carries an initialised one's state.
        const DecoderParams *p = static_cast<const DecoderParams *>(p1);
        if (!p)
            return DecodeBadArgument;
        DecoderState *s = Initialised(*p) ? static_cast<DecoderState *>(p->state) : CurrentState();
        if (!s)
            return DecodeFailed;
        SelectConverter(*s, p->output_format);
        return DecodeOk;
    }
    case DecOptProbe: {
        // *param2 carries the number of readable bytes in and the size word out.
        int32_t *io = static_cast<int32_t *>(p2);
        if (!p1 || !io)
            return DecodeBadArgument;
        const int32_t length = *io;
        int32_t w = 0, h = 0;
        if (length <= 0 || !ProbeSize(static_cast<const uint8_t *>(p1), uint32_t(length), &w, &h))
            return DecodeFailed;
        *io = h | w << 12;
        return DecodeOk;
    }
    case DecOptIntegrityStatus: {
        if (!p1 || !p2)
            return DecodeBadArgument;
        // The status of the calling thread's instance; a thread without one has a fresh record.
        const DecoderState *s = CurrentState();
        const TamperRecord t = s ? s->integrity.tamper : TamperRecord{};
        *static_cast<int32_t *>(p1) = t.frame;
        *static_cast<int32_t *>(p2) = t.macroblock;
        return !t.flagged || (t.frame == 0 && t.macroblock == 5) ? DecodeIntegrityClean : DecodeIntegrityTampered;
    }
    case DecOptSelectInstance: {
        const DecoderParams *p = static_cast<const DecoderParams *>(p1);
        const IntegrityParams *ip = static_cast<const IntegrityParams *>(p2);
        if (!p || !ip || !Initialised(*p) || ip->level < 0 || ip->level > kIntegrityMaxLevel)
            return DecodeBadArgument;
        CurrentState(); // drops a working set released meanwhile
        MakeCurrent(Context{static_cast<DecoderState *>(p->state), current.t, current.st});
        DecoderState &s = *current.s;
        s.integrity_on = ip->flags & 1;
        s.integrity_mode = ip->flags >> 1;
        s.integrity_level = ip->level + 1;
        std::memcpy(s.key_block, ip->key_block, 64);
        return DecodeOk;
    }
    default:
        return Decode(static_cast<DecoderFrame *>(p1), static_cast<const DecoderParams *>(p2));
    }
}

} // namespace strandel::lumaset

// ---- the control object and the exports ----

namespace {

using strandel::lumaset::DecodeEntry;

std::atomic<int32_t> liveObjects{0};

// An object of the library: its interface first, then its reference count. Every live one keeps
// the library from being unloaded.
template <typename Interface>
struct Object {
    Interface base;
    std::atomic<int32_t> refs;
};

template <typename Interface>
int32_t ObjectAddRef(Interface *self)
{
    return ++reinterpret_cast<Object<Interface> *>(self)->refs;
}

template <typename Interface>
int32_t ObjectRelease(Interface *self)
{
    auto *o = reinterpret_cast<Object<Interface> *>(self);
    const int32_t left = --o->refs;
    if (left == 0) {
        delete o;
        --liveObjects;
    }
    return left;
}

// A new object holding one reference, in *out.
template <typename Interface, typename Vtbl>
int32_t CreateObject(const Vtbl *vtbl, void **out)
{
    auto *o = new (std::nothrow) Object<Interface>{{vtbl}, {1}};
    if (!o)
        return LUMASET_E_POINTER;
    ++liveObjects;
    *out = &o->base;
    return 0;
}

intptr_t ControlRUviviz(LumasetControl *, intptr_t handle, intptr_t dec_opt, intptr_t param1, intptr_t param2)
{
    return DecodeEntry(handle, dec_opt, param1, param2);
}

// What needs a user interface (the About box, the property page's window) lives in a small
// Qt-side module beside the library, loaded on demand; null when it is not there.
void *AboutModuleSymbol(const char *name)
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&AboutModuleSymbol), &info) || !info.dli_fname)
        return nullptr;
    std::string dir = info.dli_fname;
    dir = dir.substr(0, dir.find_last_of('/') + 1);
    void *module = dlopen((dir + "liblumaset_about.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    return module ? dlsym(module, name) : nullptr;
}

void ControlAboutBox(LumasetControl *)
{
    if (auto show = reinterpret_cast<void (*)()>(AboutModuleSymbol("LumasetShowAbout")))
        show();
}

const LumasetControlVtbl controlVtbl = {ObjectAddRef<LumasetControl>, ObjectRelease<LumasetControl>, ControlRUviviz,
                                         ControlAboutBox};

const char *PageCaption(LumasetPropertyPage *) { return "General"; }

void *PageCreate(LumasetPropertyPage *, void *parent)
{
    auto create = reinterpret_cast<void *(*)(void *)>(AboutModuleSymbol("LumasetCreatePropertyPage"));
    return create ? create(parent) : nullptr;
}

const LumasetPropertyPageVtbl pageVtbl = {ObjectAddRef<LumasetPropertyPage>, ObjectRelease<LumasetPropertyPage>,
                                          PageCaption, PageCreate};

bool SameClassId(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

std::string LibraryPath()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&DllRegisterServer), &info) || !info.dli_fname)
        return {};
    char resolved[4096];
    if (realpath(info.dli_fname, resolved))
        return resolved;
    return info.dli_fname;
}

using Sections = std::vector<strandel::RegistrySection>;

Sections TypeLibSections(const std::string &path)
{
    return {{std::string("TypeLib\\") + LUMASET_TYPELIB_ID + "\\1.0",
             {{"@", "Lumaset ActiveX Control module"},
              {"0\\win32", path},
              {"FLAGS", "0"},
              {"HELPDIR", path.substr(0, path.find_last_of('/'))}}}};
}

Sections ClassSections(const std::string &path)
{
    return {{std::string("CLSID\\") + LUMASET_CLSID,
             {{"@", "Lumaset Control"},
              {"InprocServer32", path},
              {"ThreadingModel", "Apartment"},
              {"ProgID", LUMASET_PROGID},
              {"TypeLib", LUMASET_TYPELIB_ID},
              {"Version", "1.0"},
              {"ToolboxBitmap32", path + ", 1"},
              {"MiscStatus", "131473"}}},
            {LUMASET_PROGID, {{"@", "Lumaset Control"}, {"CLSID", LUMASET_CLSID}}},
            {std::string("CLSID\\") + LUMASET_PROPPAGE_CLSID,
             {{"@", "Lumaset Property Page"},
              {"InprocServer32", path},
              {"ThreadingModel", "Apartment"},
              {"ProgID", LUMASET_PROPPAGE_PROGID}}},
            {LUMASET_PROPPAGE_PROGID, {{"@", "Lumaset Property Page"}, {"CLSID", LUMASET_PROPPAGE_CLSID}}}};
}

// Drops the sections named in `ours` and appends `add`; everything else in the file stays.
Sections Replace(const Sections &all, const Sections &ours, const Sections &add)
{
    Sections kept;
    for (const auto &s : all) {
        bool mine = false;
        for (const auto &o : ours)
            mine = mine || SameClassId(o.name.c_str(), s.name.c_str());
        if (!mine)
            kept.push_back(s);
    }
    kept.insert(kept.end(), add.begin(), add.end());
    return kept;
}

} // namespace

extern "C" {

LUMASET_EXPORT int32_t DllRegisterServer(void)
{
    const std::string path = LibraryPath();
    const std::string file = strandel::ClassRegistryPath();
    if (path.empty())
        return LUMASET_E_TYPELIB;
    const Sections typelib = TypeLibSections(path), classes = ClassSections(path);
    const Sections step1 = Replace(strandel::ReadClassRegistry(file), typelib, typelib);
    if (!strandel::WriteClassRegistry(file, step1))
        return LUMASET_E_TYPELIB;
    return strandel::WriteClassRegistry(file, Replace(step1, classes, classes)) ? 0 : LUMASET_E_CLASS;
}

LUMASET_EXPORT int32_t DllUnregisterServer(void)
{
    const std::string file = strandel::ClassRegistryPath();
    const Sections step1 = Replace(strandel::ReadClassRegistry(file), TypeLibSections({}), {});
    if (!strandel::WriteClassRegistry(file, step1))
        return LUMASET_E_TYPELIB;
    return strandel::WriteClassRegistry(file, Replace(step1, ClassSections({}), {})) ? 0 : LUMASET_E_CLASS;
}

LUMASET_EXPORT int32_t DllCanUnloadNow(void) { return liveObjects.load() == 0 ? 0 : LUMASET_S_FALSE; }

LUMASET_EXPORT int32_t DllGetClassObject(const char *clsid, void **out)
{
    if (!out)
        return LUMASET_E_POINTER;
    *out = nullptr;
    if (clsid && SameClassId(clsid, LUMASET_PROPPAGE_CLSID))
        return CreateObject<LumasetPropertyPage>(&pageVtbl, out);
    if (!clsid || !SameClassId(clsid, LUMASET_CLSID))
        return LUMASET_E_NOCLASS;
    return CreateObject<LumasetControl>(&controlVtbl, out);
}

} // extern "C"
