#pragma once
// What the picture path needs of the view's MPEG decoder host.
#include <cstdint>
#include <vector>

#include "viewer/view/lumasethost.h"

#include <QString>

class QImage;

namespace strandel {

class MpegDecoderHost {
public:
    virtual ~MpegDecoderHost() = default;
    // Decodes one frame of channel r into bitmap (sized by the caller). Returns the frame's
    // length field when a picture was drawn, -1 for a frame that is no MPEG video frame, else
    // the decoder's result.
    virtual int32_t DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, QImage *bitmap, uint8_t fixedBuffer) = 0;
    // Why the host cannot decode at all (the control is not registered or does not load); empty when it can.
    virtual QString Unavailable() const { return {}; }
    // Whether the view may call DecodeFrame from its decoding thread (one thread at a time); such
    // a host also decodes into the planar form, which the panes keep and draw from.
    virtual bool DecodesOnWorker() const { return false; }
    virtual int32_t DecodeFrame(int32_t, const uint8_t *, int32_t, PlanarPicture *, uint8_t) { return -1; }
};

// Stands in for the decoder until the decoder control lands: records every call and draws nothing.
class RecordingDecoderHost : public MpegDecoderHost {
public:
    struct Call {
        int32_t channel;
        int32_t length;
        int width, height;
        uint8_t fixedBuffer;
    };
    using MpegDecoderHost::DecodeFrame;
    int32_t DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, QImage *bitmap, uint8_t fixedBuffer) override;
    std::vector<Call> calls;
    int32_t result = 0; // what DecodeFrame answers
};

// The view's decoder: the lumaset control with a context per channel.
class LumasetDecoderHost : public MpegDecoderHost {
public:
    LumasetDecoderHost() { host_.SetControl(16); }
    ~LumasetDecoderHost() override { host_.Release(); }
    int32_t DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, QImage *bitmap, uint8_t fixedBuffer) override
    {
        return host_.DecodeFrame(r, frame, length, bitmap, fixedBuffer);
    }
    int32_t DecodeFrame(int32_t r, const uint8_t *frame, int32_t length, PlanarPicture *picture,
                        uint8_t fixedBuffer) override
    {
        return host_.DecodeFrame(r, frame, length, picture, fixedBuffer);
    }
    QString Unavailable() const override { return host_.IsLoaded() ? QString() : host_.LoadError(); }
    bool DecodesOnWorker() const override { return true; }
    TfrmDecoder &Host() { return host_; }

private:
    TfrmDecoder host_;
};

} // namespace strandel
