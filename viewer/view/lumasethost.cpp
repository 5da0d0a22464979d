#include "viewer/view/lumasethost.h"

#include "decoder/classregistry.h"
#include "platform/debuglog.h"
#include "platform/endian.h"

#include <dlfcn.h>

#include <cstring>

namespace strandel {

LumasetLibrary::LumasetLibrary()
{
    const std::string path = FindClassLibrary(LUMASET_CLSID);
    if (path.empty()) {
        error_ = QString("The decoder control %1 is not registered").arg(LUMASET_CLSID);
        DebugPrint("%s", qPrintable(error_));
        return;
    }
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        error_ = QString("Cannot load %1: %2").arg(QString::fromStdString(path), QString::fromLocal8Bit(dlerror()));
        DebugPrint("%s", qPrintable(error_));
        return;
    }
    using GetClassObject = int32_t (*)(const char *, void **);
    auto get = reinterpret_cast<GetClassObject>(dlsym(handle_, "DllGetClassObject"));
    void *object = nullptr;
    if (!get || get(LUMASET_CLSID, &object) != 0 || !object) {
        error_ = QString("%1 has no decoder control").arg(QString::fromStdString(path));
        DebugPrint("%s", qPrintable(error_));
        return;
    }
    control_ = static_cast<LumasetControl *>(object);
}

LumasetLibrary::~LumasetLibrary()
{
    if (control_)
        control_->vtbl->Release(control_);
    // The library stays mapped: other views may hold objects of it, and unmapping buys nothing.
}

intptr_t LumasetLibrary::RUviviz(intptr_t decOpt, intptr_t param1, intptr_t param2)
{
    if (!control_)
        return DecodeBadArgument;
    return control_->vtbl->RUviviz(control_, 1, decOpt, param1, param2);
}

TfrmDecoder::TfrmDecoder() = default;

TfrmDecoder::~TfrmDecoder() { Release(); }

void TfrmDecoder::SetControl(int32_t count)
{
    count_ = count;
    InitDecoders(704, 480);
}

// (Re)sets a context up at the given picture size with fresh zeroed buffers of that size.
intptr_t TfrmDecoder::Setup(Context &c, uint8_t flag, int32_t width, int32_t height, int32_t format)
{
    for (auto &b : c.buffers)
        b.reset();
    c.params = DecoderParams{};
    c.params.codec_type = CodecMpeg4;
    c.params.width = width;
    c.params.height = height;
    c.params.output_format = format;
    c.format = format;
    c.fixedBuffer = flag;
    c.sizes = {};
    intptr_t result =
        control_.RUviviz(DecOptBufferSizes, reinterpret_cast<intptr_t>(&c.params), reinterpret_cast<intptr_t>(c.sizes.data()));
    if (result != DecodeOk)
        return result;
    for (size_t i = 0; i < c.buffers.size(); ++i) {
        c.buffers[i] = MakePageBuffer(size_t(std::max(c.sizes[i], 1)));
        if (!c.buffers[i]) {
            for (auto &b : c.buffers)
                b.reset();
            return DecodeBadArgument;
        }
    }
    c.params.frame_buffer[0] = c.buffers[0].get();
    c.params.frame_buffer[1] = c.buffers[1].get();
    c.params.frame_buffer[2] = c.buffers[2].get();
    c.params.display_buffer = c.buffers[3].get();
    c.params.state = c.buffers[4].get();
    c.params.tables = c.buffers[5].get();
    c.params.stream = c.buffers[6].get();
    int32_t f = int32_t(int8_t(flag));
    control_.RUviviz(DecOptInit, reinterpret_cast<intptr_t>(&c.params), reinterpret_cast<intptr_t>(&f));
    result = control_.RUviviz(DecOptSelectInstance, reinterpret_cast<intptr_t>(&c.params),
                              reinterpret_cast<intptr_t>(&integrity_));
    c.frame = DecoderFrame{};
    c.frame.render = 1;
    c.frame.output_pitch = width;
    return result;
}

int32_t TfrmDecoder::InitDecoders(int32_t, int32_t)
{
    if (!IsLoaded())
        return DecodeBadArgument;
    if (Allocated())
        FreeDecoders();
    integrity_ = IntegrityParams{0, 4, {}};
    // Context 0 never decodes: the smallest picture will do. The channels' contexts are set up
    // at their pictures' size when their first frame comes.
    for (Context &c : contexts_) {
        c.askedWidth = c.askedHeight = 0;
        c.fixedBuffer = 0;
    }
    return int32_t(Setup(contexts_[0], 0, 16, 16, OutputRgb32TopDown));
}

void TfrmDecoder::FreeDecoders()
{
    control_.RUviviz(DecOptRelease, 0, 0);
    for (Context &c : contexts_)
        for (auto &b : c.buffers)
            b.reset();
}

void TfrmDecoder::Release()
{
    if (Allocated())
        FreeDecoders();
}

size_t TfrmDecoder::BufferBytes() const
{
    size_t n = 0;
    for (const Context &c : contexts_)
        for (size_t i = 0; i < c.buffers.size(); ++i)
            if (c.buffers[i])
                n += size_t(std::max(c.sizes[i], 1));
    return n;
}

uint32_t TfrmDecoder::FrameLength(const uint8_t *f)
{
    return (uint32_t(f[24] & 0x7F) << 15) | (uint32_t(f[25] >> 4) << 11) | (uint32_t(f[25] & 7) << 8) | f[26];
}

int32_t TfrmDecoder::DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, QImage *bitmap, uint8_t flag)
{
    if (!bitmap)
        return -1;
    const int32_t format = bitmap->format() == QImage::Format_RGB16 ? OutputRgb565TopDown : OutputRgb32TopDown;
    const QImage::Format qformat = format == OutputRgb565TopDown ? QImage::Format_RGB16 : QImage::Format_RGB32;
    return DecodeInto(r, frame, length, flag, format, bitmap->width(), bitmap->height(), [bitmap, qformat](int w, int h) {
        if (bitmap->width() != w || bitmap->height() != h || bitmap->format() != qformat)
            *bitmap = QImage(w, h, qformat);
        return bitmap->isNull() ? nullptr : bitmap->bits();
    });
}

int32_t TfrmDecoder::DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, PlanarPicture *picture, uint8_t flag)
{
    if (!picture)
        return -1;
    return DecodeInto(r, frame, length, flag, OutputYv12, picture->width, picture->height, [picture](int w, int h) {
        if (picture->width != w || picture->height != h)
            picture->Resize(w, h);
        return picture->bytes.data();
    });
}

int32_t TfrmDecoder::DecodeInto(int32_t r, const uint8_t *frame, int32_t length, uint8_t flag, int32_t format, int w,
                                int h, const Target &target)
{
    if (!frame || length <= 0 || r < 0 || r + 1 >= kContexts)
        return -1;
    // An MPEG video packet: 00 00 01 E0..EF, with the packet header that holds its length.
    if (length < 32 || (GetLe32(frame) & 0xF0FFFFFFu) != 0xE0010000u)
        return -1;
    if (!Allocated())
        return DecodeBadArgument;
    if (w <= 0 || h <= 0 || w > kMaxWidth || h > kMaxHeight)
        return DecodeBadArgument;
    const int k = r + 1;
    Context &c = contexts_[size_t(k)];
    if (!c.buffers[0] || flag != c.fixedBuffer || c.askedWidth != w || c.askedHeight != h || format != c.format) {
        DebugPrint("%d : %d,%d\n", k, w, h);
        c.askedWidth = w;
        c.askedHeight = h;
        if (const intptr_t set = Setup(c, flag, w, h, format); set != DecodeOk)
            return int32_t(set);
    }
    // The decoder is given L bytes, and never more than the caller holds.
    const uint32_t L = FrameLength(frame);
    c.frame.bitstream = frame;
    c.frame.length = int32_t(std::min<uint32_t>(L, uint32_t(length)));
    intptr_t result = Decode(c, target);
    if (result == DecodeFailed && c.frame.error == DecodeErrorPictureSize) {
        // The record header's size is not the stream's (a PAL layer on an NTSC recorder, say):
        // the context goes over to the layer's size, which then holds for this channel.
        int32_t probed = c.frame.length;
        if (control_.RUviviz(DecOptProbe, reinterpret_cast<intptr_t>(frame), reinterpret_cast<intptr_t>(&probed)) ==
            DecodeOk) {
            const int32_t lw = probed >> 12, lh = probed & 0xFFF;
            if (lw > 0 && lh > 0 && lw <= kMaxWidth && lh <= kMaxHeight && lw % 16 == 0 && lh % 16 == 0 &&
                (lw != c.params.width || lh != c.params.height)) {
                DebugPrint("%d : %d,%d\n", k, lw, lh);
                if (Setup(c, flag, lw, lh, format) == DecodeOk) {
                    c.frame.bitstream = frame;
                    c.frame.length = int32_t(std::min<uint32_t>(L, uint32_t(length)));
                    result = Decode(c, target);
                }
            }
        }
    }
    return result == DecodeOk ? int32_t(L) : int32_t(result);
}

// The recorders' layers are low-delay: the decoder shows each picture with its own call, which
// converts it straight into the target, sized to the context's picture first.
intptr_t TfrmDecoder::Decode(Context &c, const Target &target)
{
    uint8_t *out = target(c.params.width, c.params.height);
    if (!out)
        return DecodeBadArgument;
    c.frame.output = out;
    c.frame.output_pitch = c.params.width;
    return control_.RUviviz(DecOptDecode, reinterpret_cast<intptr_t>(&c.frame), reinterpret_cast<intptr_t>(&c.params));
}

} // namespace strandel
