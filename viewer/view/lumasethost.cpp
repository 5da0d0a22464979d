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

TfrmDecoder::TfrmDecoder() : rgb_(size_t(kContexts) * kRgbSize) {}

TfrmDecoder::~TfrmDecoder() { Release(); }

void TfrmDecoder::SetControl(int32_t count)
{
    count_ = count;
    InitDecoders(704, 480);
}

void TfrmDecoder::ZeroWorkState(Context &c)
{
    for (int i = 4; i < 7; ++i)
        if (c.buffers[size_t(i)])
            std::memset(c.buffers[size_t(i)].get(), 0, size_t(c.sizes[size_t(i)]));
}

int32_t TfrmDecoder::InitDecoders(int32_t, int32_t)
{
    if (!IsLoaded())
        return DecodeBadArgument;
    if (Allocated())
        FreeDecoders();
    integrity_ = IntegrityParams{0, 4, {}};
    intptr_t result = 0;
    for (int k = 0; k < kContexts; ++k) {
        Context &c = contexts_[size_t(k)];
        c.params = DecoderParams{};
        c.params.codec_type = CodecMpeg4;
        c.params.width = kMaxWidth;
        c.params.height = kMaxHeight;
        c.params.output_format = OutputRgb24;
        control_.RUviviz(DecOptBufferSizes, reinterpret_cast<intptr_t>(&c.params), reinterpret_cast<intptr_t>(c.sizes.data()));
        for (int i = 0; i < 7; ++i) {
            // Value-initialised: the state, tables and stream start zeroed, the pictures black-ish.
            c.buffers[size_t(i)].reset(new uint8_t[size_t(std::max(c.sizes[size_t(i)], 1))]());
        }
        c.params.frame_buffer[0] = c.buffers[0].get();
        c.params.frame_buffer[1] = c.buffers[1].get();
        c.params.frame_buffer[2] = c.buffers[2].get();
        c.params.display_buffer = c.buffers[3].get();
        c.params.state = c.buffers[4].get();
        c.params.tables = c.buffers[5].get();
        c.params.stream = c.buffers[6].get();
        int32_t flag = c.fixedBuffer;
        control_.RUviviz(DecOptInit, reinterpret_cast<intptr_t>(&c.params), reinterpret_cast<intptr_t>(&flag));
        result = control_.RUviviz(DecOptSelectInstance, reinterpret_cast<intptr_t>(&c.params),
                                  reinterpret_cast<intptr_t>(&integrity_));
        c.frame = DecoderFrame{};
        c.frame.output = rgb_.data() + size_t(k) * kRgbSize;
        c.frame.render = 1;
        c.frame.output_pitch = c.params.width;
        c.askedWidth = c.params.width;
        c.askedHeight = c.params.height;
    }
    return int32_t(result);
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

uint32_t TfrmDecoder::FrameLength(const uint8_t *f)
{
    return (uint32_t(f[24] & 0x7F) << 15) | (uint32_t(f[25] >> 4) << 11) | (uint32_t(f[25] & 7) << 8) | f[26];
}

int32_t TfrmDecoder::DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, QImage *bitmap, uint8_t flag)
{
    if (!bitmap || !frame || length <= 0 || r < 0 || r + 1 >= kContexts)
        return -1;
    // An MPEG video packet: 00 00 01 E0..EF, with the packet header that holds its length.
    if (length < 32 || (GetLe32(frame) & 0xF0FFFFFFu) != 0xE0010000u)
        return -1;
    if (!Allocated())
        return DecodeBadArgument;
    const int w = bitmap->width(), h = bitmap->height();
    if (w <= 0 || h <= 0 || w > kMaxWidth || h > kMaxHeight)
        return DecodeBadArgument;
    const int k = r + 1;
    Context &c = contexts_[size_t(k)];
    if (flag != c.fixedBuffer || c.askedWidth != w || c.askedHeight != h) {
        DebugPrint("%d : %d,%d\n", k, w, h);
        c.askedWidth = w;
        c.askedHeight = h;
        Reinitialise(c, flag, w, h);
    }
    // The decoder is given L bytes, and never more than the caller holds.
    const uint32_t L = FrameLength(frame);
    c.frame.bitstream = frame;
    c.frame.length = int32_t(std::min<uint32_t>(L, uint32_t(length)));
    intptr_t result = Decode(c);
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
                Reinitialise(c, flag, lw, lh);
                result = Decode(c);
            }
        }
    }
    if (result != DecodeOk)
        return int32_t(result);
    if (bitmap->width() != c.params.width || bitmap->height() != c.params.height)
        *bitmap = QImage(c.params.width, c.params.height, bitmap->format());
    DrawRgb(c.frame.output, c.params.width, c.params.height, bitmap);
    return int32_t(L);
}

void TfrmDecoder::Reinitialise(Context &c, uint8_t flag, int32_t width, int32_t height)
{
    c.fixedBuffer = flag;
    c.params.width = width;
    c.params.height = height;
    ZeroWorkState(c);
    int32_t f = int32_t(int8_t(flag));
    control_.RUviviz(DecOptInit, reinterpret_cast<intptr_t>(&c.params), reinterpret_cast<intptr_t>(&f));
    c.frame.output_pitch = width;
}

// The recorders' layers are low-delay: the decoder shows each picture with its own call.
intptr_t TfrmDecoder::Decode(Context &c)
{
    return control_.RUviviz(DecOptDecode, reinterpret_cast<intptr_t>(&c.frame), reinterpret_cast<intptr_t>(&c.params));
}

void TfrmDecoder::DrawRgb(const uint8_t *rgb, int w, int h, QImage *bitmap) const
{
    // The control writes a bottom-up picture of B, G, R bytes; write it into the bitmap directly.
    const bool rgb16 = bitmap->format() == QImage::Format_RGB16;
    const bool rgb32 = bitmap->format() == QImage::Format_RGB32 || bitmap->format() == QImage::Format_ARGB32;
    if (!rgb16 && !rgb32)
        *bitmap = bitmap->convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const uint8_t *src = rgb + size_t(h - 1 - y) * size_t(w) * 3;
        if (rgb16) {
            auto *dst = reinterpret_cast<uint16_t *>(bitmap->scanLine(y));
            for (int x = 0; x < w; ++x, src += 3)
                dst[x] = uint16_t(((src[2] >> 3) << 11) | ((src[1] >> 2) << 5) | (src[0] >> 3));
        } else {
            auto *dst = reinterpret_cast<uint32_t *>(bitmap->scanLine(y));
            for (int x = 0; x < w; ++x, src += 3)
                dst[x] = 0xFF000000u | (uint32_t(src[2]) << 16) | (uint32_t(src[1]) << 8) | src[0];
        }
    }
}

} // namespace strandel
