#pragma once
// Helpers of the decoder tests: fixture streams, reference pictures and hand-made headers.
#include "instance.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>
#include <QByteArray>

namespace strandel::lumaset::test {

inline std::string DataPath(const std::string &name) { return std::string(STRANDEL_TEST_DATA) + "/data/" + name; }

// ffmpeg's decoded frames, stored compressed in the form qUncompress reads.
inline std::vector<uint8_t> ReadReference(const std::string &name, size_t size)
{
    const std::vector<uint8_t> z = ReadFile(DataPath(name));
    const QByteArray raw = qUncompress(reinterpret_cast<const uchar *>(z.data()), qsizetype(z.size()));
    if (size_t(raw.size()) != size)
        return {};
    return std::vector<uint8_t>(raw.begin(), raw.end());
}

inline double Psnr(const uint8_t *a, const uint8_t *b, size_t n)
{
    double se = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = double(a[i]) - double(b[i]);
        se += d * d;
    }
    if (se == 0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * double(n) / se);
}

} // namespace strandel::lumaset::test

namespace strandel::lumaset::test {

// Test-only bit writer for hand-made headers.
class BitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (fill_ == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= uint8_t(0x80 >> fill_);
            fill_ = (fill_ + 1) & 7;
        }
    }
    // next_start_code(): a 0 and then 1s up to the byte boundary (a whole 0x7F when aligned).
    void Stuff()
    {
        Put(0, 1);
        while (fill_)
            Put(1, 1);
    }
    void StartCode(uint32_t code)
    {
        while (fill_)
            Put(0, 1);
        Put(code, 32);
    }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    int fill_ = 0;
};

struct VolSpec {
    int width = 352, height = 288;
    int objectType = 1; // Simple: without control parameters, no B-pictures and no delay
    int shape = 0;
    int verid = 1;
    int resolution = 25;
    int fixedRate = 0;
    int quantType = 0;
    std::vector<int> intraMatrix; // loaded when not empty
    int complexityDisable = 1;
    int dataPartitioned = 0;
    int scalability = 0;
    bool userData = false;
    int interlaced = 0;
    int aspectRatio = 1;
    int obmcDisable = 1;
    int spriteEnable = 0; // 1 static; 2 global motion (verid 2)
    int bitsPerPixel = 8;
    int quarterSample = 0, newpred = 0, reducedResolution = 0; // verid 2
};

inline void PutVol(BitWriter &w, const VolSpec &v)
{
    w.StartCode(0x100);
    w.StartCode(0x120);
    w.Put(0, 1);    // random_accessible_vol
    w.Put(uint32_t(v.objectType), 8);
    w.Put(v.verid != 1, 1);
    if (v.verid != 1) {
        w.Put(uint32_t(v.verid), 4);
        w.Put(1, 3);
    }
    w.Put(uint32_t(v.aspectRatio), 4);
    if (v.aspectRatio == 15)
        w.Put(5 << 8 | 3, 16); // par_width, par_height
    w.Put(0, 1);    // vol_control_parameters
    w.Put(uint32_t(v.shape), 2);
    w.Put(1, 1);
    w.Put(uint32_t(v.resolution), 16);
    w.Put(1, 1);
    w.Put(uint32_t(v.fixedRate), 1);
    if (v.fixedRate) {
        int bits = 1;
        while ((1 << bits) < v.resolution)
            ++bits;
        w.Put(1, bits);
    }
    if (v.shape == 0) {
        w.Put(1, 1);
        w.Put(uint32_t(v.width), 13);
        w.Put(1, 1);
        w.Put(uint32_t(v.height), 13);
        w.Put(1, 1);
    }
    if (v.shape != 2) {
        w.Put(uint32_t(v.interlaced), 1);
        w.Put(uint32_t(v.obmcDisable), 1);
        w.Put(uint32_t(v.spriteEnable), v.verid == 1 ? 1 : 2);
        if (v.spriteEnable)
            return; // refused here; the sprite fields never read
        w.Put(v.bitsPerPixel != 8, 1); // not_8_bit
        if (v.bitsPerPixel != 8) {
            w.Put(5, 4);
            w.Put(uint32_t(v.bitsPerPixel), 4);
        }
        if (v.shape == 3)
            return;
        w.Put(uint32_t(v.quantType), 1);
        if (v.quantType) {
            w.Put(!v.intraMatrix.empty(), 1);
            for (int m : v.intraMatrix)
                w.Put(uint32_t(m), 8);
            w.Put(0, 1);
        }
        if (v.verid != 1)
            w.Put(uint32_t(v.quarterSample), 1);
        w.Put(uint32_t(v.complexityDisable), 1);
        w.Put(1, 1); // resync_marker_disable
        w.Put(uint32_t(v.dataPartitioned), 1);
        if (v.dataPartitioned)
            w.Put(0, 1); // reversible_vlc
        if (v.verid != 1) {
            w.Put(uint32_t(v.newpred), 1);
            if (v.newpred)
                w.Put(0, 3); // requested_upstream_message_type, newpred_segment_type
            w.Put(uint32_t(v.reducedResolution), 1);
        }
        w.Put(uint32_t(v.scalability), 1);
    }
    w.Stuff();
    if (v.userData) {
        w.StartCode(0x1B2);
        w.Put(0x4142, 16);
    }
}

// An I-VOP header with the given quantiser; macroblock data follows from the caller.
inline void PutVopHeader(BitWriter &w, int type, int quant, int resolutionBits = 5, int coded = 1,
                         bool interlaced = false, int intraDcVlcThr = 0)
{
    w.StartCode(0x1B6);
    w.Put(uint32_t(type), 2);
    w.Put(0, 1); // modulo_time_base
    w.Put(1, 1);
    w.Put(1, resolutionBits);
    w.Put(1, 1);
    w.Put(uint32_t(coded), 1);
    if (!coded)
        return;
    if (type == 1)
        w.Put(0, 1); // rounding
    w.Put(uint32_t(intraDcVlcThr), 3);
    if (interlaced)
        w.Put(0b10, 2); // top_field_first, alternate_vertical_scan_flag
    w.Put(uint32_t(quant), 5);
    if (type != 0)
        w.Put(1, 3);
    if (type == 2)
        w.Put(1, 3);
}

} // namespace strandel::lumaset::test
