#pragma once
// The decoder host of a recorder view: one instance of the lumaset control, loaded by its class
// identifier, with 17 decoding contexts and their RGB buffers. Context k decodes channel k - 1;
// context 0 is set up and never decodes. Every buffer belongs to the host and is allocated once.
#include "decoder/lumaset.h"

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
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
    static constexpr int kRgbSize = kMaxWidth * kMaxHeight * 3;

    TfrmDecoder();
    ~TfrmDecoder();

    bool IsLoaded() const { return control_.IsLoaded(); }
    const QString &LoadError() const { return control_.Error(); }

    void SetControl(int32_t count);
    int32_t InitDecoders(int32_t width, int32_t height);
    void FreeDecoders();
    void Release();
    // L when a picture was drawn into bitmap, -1 when frame is no MPEG video packet, else what
    // the control returned.
    int32_t DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, QImage *bitmap, uint8_t fixedBuffer);

    // The 22-bit length field of an MPEG frame packet (its first 27 bytes must exist).
    static uint32_t FrameLength(const uint8_t *frame);

private:
    struct Context {
        DecoderParams params{};
        DecoderFrame frame{};
        std::array<std::unique_ptr<uint8_t[]>, 7> buffers;
        std::array<int32_t, 7> sizes{};
        uint8_t fixedBuffer = 0;
        // The picture size the view last asked for; the context decodes at the layer's own size
        // when the stream names another.
        int32_t askedWidth = 0, askedHeight = 0;
    };
    bool Allocated() const { return bool(contexts_[0].buffers[0]); }
    void ZeroWorkState(Context &c);
    void Reinitialise(Context &c, uint8_t flag, int32_t width, int32_t height);
    intptr_t Decode(Context &c);
    void DrawRgb(const uint8_t *rgb, int w, int h, QImage *bitmap) const;

    LumasetLibrary control_;
    int32_t count_ = 0;
    std::vector<uint8_t> rgb_; // 17 pictures of kRgbSize bytes
    IntegrityParams integrity_{};
    std::array<Context, kContexts> contexts_;
};

} // namespace strandel
