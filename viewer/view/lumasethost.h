#pragma once
// The decoder host of a recorder view: one instance of the lumaset control, loaded by its class
// identifier, with 17 decoding contexts. Context k decodes channel k - 1; context 0 is set up and
// never decodes. A context's buffers are sized to its channel's picture when the channel's first
// frame comes and again when the size changes; the control converts each picture straight into
// the caller's bitmap.
#include "decoder/lumaset.h"
#include "platform/pages.h"
#include "viewer/view/planarpicture.h"

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace strandel {

// The loaded control: the library found through the class registry and one object of it.
class LumasetLibrary {
public:
    LumasetLibrary();
    ~LumasetLibrary();
    LumasetLibrary(const LumasetLibrary &) = delete;
    LumasetLibrary &operator=(const LumasetLibrary &) = delete;

    bool IsLoaded() const { return control_ != nullptr; }
    const QString &Error() const { return error_; }
    intptr_t RUviviz(intptr_t decOpt, intptr_t param1, intptr_t param2);

private:
    void *handle_ = nullptr;
    LumasetControl *control_ = nullptr;
    QString error_;
};

class TfrmDecoder {
public:
    static constexpr int kContexts = 17;
    static constexpr int kMaxWidth = 720;
    static constexpr int kMaxHeight = 576;

    TfrmDecoder();
    ~TfrmDecoder();

    bool IsLoaded() const { return control_.IsLoaded(); }
    const QString &LoadError() const { return control_.Error(); }

    void SetControl(int32_t count);
    int32_t InitDecoders(int32_t width, int32_t height);
    void FreeDecoders();
    void Release();
    // L when a picture was drawn into bitmap, -1 when frame is no MPEG video packet, else what
    // the control returned. A 16-bit bitmap gets RGB565 pixels; any other gets 32-bit pixels
    // (Format_RGB32) whose top byte the control leaves 0.
    int32_t DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, QImage *bitmap, uint8_t fixedBuffer);
    // The same into the decoder's own planar form (picture sized by the caller, as a bitmap is).
    int32_t DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, PlanarPicture *picture, uint8_t fixedBuffer);

    // The 22-bit length field of an MPEG frame packet (its first 27 bytes must exist).
    static uint32_t FrameLength(const uint8_t *frame);

    // Bytes of work buffers the contexts hold now.
    size_t BufferBytes() const;

private:
    struct Context {
        DecoderParams params{};
        DecoderFrame frame{};
        std::array<PageBuffer, 7> buffers;
        std::array<int32_t, 7> sizes{};
        uint8_t fixedBuffer = 0;
        int32_t format = OutputRgb32TopDown;
        // The picture size the view last asked for; the context decodes at the layer's own size
        // when the stream names another.
        int32_t askedWidth = 0, askedHeight = 0;
    };
    bool Allocated() const { return bool(contexts_[0].buffers[0]); }
    intptr_t Setup(Context &c, uint8_t flag, int32_t width, int32_t height, int32_t format);
    // Gives the output memory for a picture of the given size, or null.
    using Target = std::function<uint8_t *(int width, int height)>;
    int32_t DecodeInto(int32_t r, const uint8_t *frame, int32_t length, uint8_t flag, int32_t format, int width,
                       int height, const Target &target);
    intptr_t Decode(Context &c, const Target &target);

    LumasetLibrary control_;
    int32_t count_ = 0;
    IntegrityParams integrity_{};
    std::array<Context, kContexts> contexts_;
};

} // namespace strandel
