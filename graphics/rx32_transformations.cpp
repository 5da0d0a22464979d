// Matrix arithmetic, the affine and projective transformations and drawing through them.
#include <algorithm>
#include <cmath>

#include "graphics/rx32_transforms.h"

namespace strandel {

const TFloatMatrix IdentityMatrix{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

namespace {

double Det2(double a1, double a2, double b1, double b2) { return a1 * b2 - a2 * b1; }

double Det3(double a1, double a2, double a3, double b1, double b2, double b3, double c1, double c2, double c3)
{
    return a1 * (b2 * c3 - b3 * c2) - b1 * (a2 * c3 - a3 * c2) + c1 * (a2 * b3 - a3 * b2);
}

// Source positions further out than this are never sampled: it leaves room for the pixel
// arithmetic (x + 1, x * 256) without overflow.
constexpr double kPositionLimit = 1 << 30;

bool Usable(double v) { return std::isfinite(v) && std::fabs(v) <= kPositionLimit; }

int32_t Narrow(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

} // namespace

void Adjoint(TFloatMatrix &m)
{
    const float m0 = m[0][0], m1 = m[0][1], m2 = m[0][2];
    const float m3 = m[1][0], m4 = m[1][1], m5 = m[1][2];
    const float m6 = m[2][0], m7 = m[2][1], m8 = m[2][2];
    m[0][0] = float(Det2(m4, m5, m7, m8));
    m[0][1] = float(-Det2(m1, m2, m7, m8));
    m[0][2] = float(Det2(m1, m2, m4, m5));
    m[1][0] = float(-Det2(m3, m5, m6, m8));
    m[1][1] = float(Det2(m0, m2, m6, m8));
    m[1][2] = float(-Det2(m0, m2, m3, m5));
    m[2][0] = float(Det2(m3, m4, m6, m7));
    m[2][1] = float(-Det2(m0, m1, m6, m7));
    m[2][2] = float(Det2(m0, m1, m3, m4));
}

float Determinant(const TFloatMatrix &m)
{
    return float(Det3(m[0][0], m[1][0], m[2][0], m[0][1], m[1][1], m[2][1], m[0][2], m[1][2], m[2][2]));
}

void Scale(TFloatMatrix &m, float factor)
{
    for (auto &column : m.M)
        for (float &v : column)
            v *= factor;
}

void Invert(TFloatMatrix &m)
{
    const float d = Determinant(m);
    if (!(std::fabs(d) >= 1e-5f)) {
        m = IdentityMatrix;
        return;
    }
    Adjoint(m);
    Scale(m, 1.0f / d);
}

TFloatMatrix Mult(const TFloatMatrix &m1, const TFloatMatrix &m2)
{
    TFloatMatrix r{};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            r[c][row] = float(double(m1[0][row]) * m2[c][0] + double(m1[1][row]) * m2[c][1] +
                              double(m1[2][row]) * m2[c][2]);
    return r;
}

// ---- TTransformation

void TTransformation::SetSrcRect(const TFloatRect &value)
{
    m_srcRect = value;
    m_prepared = false;
}

// ---- TAffineTransformation

void TAffineTransformation::Clear()
{
    m_matrix = IdentityMatrix;
    m_prepared = false;
}

void TAffineTransformation::Apply(const TFloatMatrix &t)
{
    m_prepared = false;
    m_matrix = Mult(t, m_matrix);
}

void TAffineTransformation::Translate(float dx, float dy)
{
    TFloatMatrix t = IdentityMatrix;
    t[2][0] = dx;
    t[2][1] = dy;
    Apply(t);
}

void TAffineTransformation::Scale(float sx, float sy)
{
    TFloatMatrix t = IdentityMatrix;
    t[0][0] = sx;
    t[1][1] = sy;
    Apply(t);
}

void TAffineTransformation::Skew(float fx, float fy)
{
    TFloatMatrix t = IdentityMatrix;
    t[1][0] = fx;
    t[0][1] = fy;
    Apply(t);
}

void TAffineTransformation::Rotate(float cx, float cy, float alpha)
{
    if (cx != 0 || cy != 0)
        Translate(-cx, -cy);
    const float a = float(double(alpha) * M_PI / 180.0);
    TFloatMatrix t = IdentityMatrix;
    t[0][0] = std::cos(a);
    t[1][0] = std::sin(a);
    t[0][1] = -std::sin(a);
    t[1][1] = std::cos(a);
    Apply(t);
    if (cx != 0 || cy != 0)
        Translate(cx, cy);
}

void TAffineTransformation::PrepareTransform()
{
    TFloatMatrix inv = m_matrix;
    Invert(inv);
    // A huge or non-finite entry saturates rather than wrapping.
    I00 = RoundSat(double(inv[0][0]) * 4096);
    I10 = RoundSat(double(inv[1][0]) * 4096);
    I20 = RoundSat(double(inv[2][0]) * 4096);
    I01 = RoundSat(double(inv[0][1]) * 4096);
    I11 = RoundSat(double(inv[1][1]) * 4096);
    I21 = RoundSat(double(inv[2][1]) * 4096);
    m_prepared = true;
}

// Bias 2047 rather than 2048: an exact half rounds down.
void TAffineTransformation::Transform(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY)
{
    srcX = Narrow((int64_t(dstX) * I00 + int64_t(dstY) * I10 + I20 + 2047) >> 12);
    srcY = Narrow((int64_t(dstX) * I01 + int64_t(dstY) * I11 + I21 + 2047) >> 12);
}

void TAffineTransformation::Transform256(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY)
{
    srcX = Narrow((int64_t(dstX) * I00 + int64_t(dstY) * I10 + I20 + 7) >> 4);
    srcY = Narrow((int64_t(dstX) * I01 + int64_t(dstY) * I11 + I21 + 7) >> 4);
}

bool TAffineTransformation::MapPixel(int32_t dstX, int32_t dstY, bool fine, int32_t &srcX, int32_t &srcY)
{
    const int64_t x = int64_t(dstX) * I00 + int64_t(dstY) * I10 + I20;
    const int64_t y = int64_t(dstX) * I01 + int64_t(dstY) * I11 + I21;
    const int64_t sx = fine ? (x + 7) >> 4 : (x + 2047) >> 12;
    const int64_t sy = fine ? (y + 7) >> 4 : (y + 2047) >> 12;
    const int64_t limit = int64_t(kPositionLimit);
    if (sx < -limit || sx > limit || sy < -limit || sy > limit)
        return false;
    srcX = int32_t(sx);
    srcY = int32_t(sy);
    return true;
}

TRect TAffineTransformation::GetTransformedBounds()
{
    const TFloatRect &r = m_srcRect;
    const float xs[4] = {r.Left, r.Right, r.Left, r.Right};
    const float ys[4] = {r.Top, r.Top, r.Bottom, r.Bottom};
    float minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        const float x = float(double(m_matrix[0][0]) * xs[i] + double(m_matrix[1][0]) * ys[i] + m_matrix[2][0]);
        const float y = float(double(m_matrix[0][1]) * xs[i] + double(m_matrix[1][1]) * ys[i] + m_matrix[2][1]);
        if (i == 0 || x < minX)
            minX = x;
        if (i == 0 || x > maxX)
            maxX = x;
        if (i == 0 || y < minY)
            minY = y;
        if (i == 0 || y > maxY)
            maxY = y;
    }
    return {RoundSat(double(minX) - 0.5), RoundSat(double(minY) - 0.5), RoundSat(double(maxX) + 0.5),
            RoundSat(double(maxY) + 0.5)};
}

// ---- TProjectiveTransformation

void TProjectiveTransformation::PrepareTransform()
{
    const float srcW = m_srcRect.Right - m_srcRect.Left, srcH = m_srcRect.Bottom - m_srcRect.Top;
    if (!(srcW != 0 && srcH != 0 && std::isfinite(1.0f / srcW) && std::isfinite(1.0f / srcH)))
        throw ETransformError("Source rectangle has no width or height");
    const float *X = m_x, *Y = m_y;
    const float px = X[0] - X[1] + X[2] - X[3], py = Y[0] - Y[1] + Y[2] - Y[3];
    TFloatMatrix q{};
    if (px == 0 && py == 0) {
        q[0][0] = X[1] - X[0];
        q[1][0] = X[2] - X[1];
        q[2][0] = X[0];
        q[0][1] = Y[1] - Y[0];
        q[1][1] = Y[2] - Y[1];
        q[2][1] = Y[0];
        q[0][2] = 0;
        q[1][2] = 0;
        q[2][2] = 1;
    } else {
        const float dx1 = X[1] - X[2], dx2 = X[3] - X[2], dy1 = Y[1] - Y[2], dy2 = Y[3] - Y[2];
        const float k = dx1 * dy2 - dx2 * dy1;
        if (k != 0) {
            const float g = (px * dy2 - py * dx2) / k, h = (dx1 * py - dy1 * px) / k;
            q[0][0] = X[1] - X[0] + g * X[1];
            q[1][0] = X[3] - X[0] + h * X[3];
            q[2][0] = X[0];
            q[0][1] = Y[1] - Y[0] + g * Y[1];
            q[1][1] = Y[3] - Y[0] + h * Y[3];
            q[2][1] = Y[0];
            q[0][2] = g;
            q[1][2] = h;
            q[2][2] = 1;
        }
    }
    TFloatMatrix s = IdentityMatrix;
    s[0][0] = 1.0f / srcW;
    s[1][1] = 1.0f / srcH;
    q = Mult(q, s);
    TFloatMatrix t = IdentityMatrix;
    t[2][0] = -m_srcRect.Left;
    t[2][1] = -m_srcRect.Top;
    q = Mult(q, t);
    Invert(q);
    m_matrix = q;
    m_prepared = true;
}

namespace {

// The source position of (x, y) times scale; false when the denominator is 0.
bool Project(const TFloatMatrix &m, int32_t dstX, int32_t dstY, double scale, double &sx, double &sy)
{
    EMMS();
    const float x = float(dstX), y = float(dstY);
    const float z = m[0][2] * x + m[1][2] * y + m[2][2];
    if (z == 0)
        return false;
    sx = (double(m[0][0]) * x + double(m[1][0]) * y + m[2][0]) * scale;
    sy = (double(m[0][1]) * x + double(m[1][1]) * y + m[2][1]) * scale;
    if (z != 1) {
        const double invZ = 1.0 / double(z);
        sx *= invZ;
        sy *= invZ;
    }
    return true;
}

} // namespace

void TProjectiveTransformation::Transform(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY)
{
    double sx, sy;
    if (!Project(m_matrix, dstX, dstY, 1, sx, sy))
        return;
    srcX = RoundSat(sx);
    srcY = RoundSat(sy);
}

void TProjectiveTransformation::Transform256(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY)
{
    double sx, sy;
    if (!Project(m_matrix, dstX, dstY, 256, sx, sy))
        return;
    srcX = RoundSat(sx);
    srcY = RoundSat(sy);
}

bool TProjectiveTransformation::MapPixel(int32_t dstX, int32_t dstY, bool fine, int32_t &srcX, int32_t &srcY)
{
    double sx, sy;
    if (!Project(m_matrix, dstX, dstY, fine ? 256 : 1, sx, sy) || !Usable(sx) || !Usable(sy))
        return false;
    srcX = RoundSat(sx);
    srcY = RoundSat(sy);
    return true;
}

TRect TProjectiveTransformation::GetTransformedBounds()
{
    const auto [minX, maxX] = std::minmax({m_x[0], m_x[1], m_x[2], m_x[3]});
    const auto [minY, maxY] = std::minmax({m_y[0], m_y[1], m_y[2], m_y[3]});
    return {RoundSat(double(minX) - 0.5), RoundSat(double(minY) - 0.5), RoundSat(double(maxX) + 0.5),
            RoundSat(double(maxY) + 0.5)};
}

// ---- Drawing

namespace {

// Bilinear sample at a 24.8 position; false when the position lies more than a pixel outside
// the source bounds (inclusive).
bool SampleLinear(const TBitmap32 *src, const TRect &b, int32_t x256, int32_t y256, TColor32 &c)
{
    const TColor32 fx = TColor32(x256 & 255), fy = TColor32(y256 & 255);
    const int32_t x = x256 >> 8, y = y256 >> 8;
    const TColor32 wx = 255 - fx, wy = 255 - fy;
    TColor32 p00, p10, p01, p11;
    if (b.Left < x && x < b.Right - 1 && b.Top < y && y < b.Bottom - 1) {
        p00 = src->GetPixel(x, y);
        p10 = src->GetPixel(x + 1, y);
        p01 = src->GetPixel(x, y + 1);
        p11 = src->GetPixel(x + 1, y + 1);
    } else if (x >= b.Left - 1 && y >= b.Top - 1 && x < b.Right && y < b.Bottom) {
        p00 = src->GetPixelS(x, y);
        p10 = src->GetPixelS(x + 1, y);
        p01 = src->GetPixelS(x, y + 1);
        p11 = src->GetPixelS(x + 1, y + 1);
    } else {
        c = 0;
        return false;
    }
    c = CombineReg(CombineReg(p00, p10, wx), CombineReg(p01, p11, wx), wy);
    return true;
}

} // namespace

void Transform(TBitmap32 *dst, TBitmap32 *src, TTransformation *transformation)
{
    if (!dst || !src || !transformation)
        throw ETransformError("Transform needs a destination, a source and a transformation");
    if (!transformation->Prepared())
        transformation->PrepareTransform();
    if (src->Empty() || dst->Empty())
        return;

    TDrawMode mode = src->DrawMode();
    const TColor32 masterAlpha = src->MasterAlpha();
    const TPixelCombineEvent &method = src->OnPixelCombine;
    if (mode == dmCustom && !method)
        mode = dmOpaque;

    // Bounds are inclusive: right and bottom are the last usable column and row.
    TRect srcBounds;
    IntersectRect(srcBounds, MakeRect(transformation->SrcRect(), rrClosest),
                  {0, 0, src->Width() - 1, src->Height() - 1});
    TRect dstBounds;
    if (!IntersectRect(dstBounds, transformation->GetTransformedBounds(), {0, 0, dst->Width() - 1, dst->Height() - 1}))
        return;
    // A one-pixel-wide or -high destination is drawn too (bounds are inclusive).
    if (dstBounds.Right < dstBounds.Left || dstBounds.Bottom < dstBounds.Top)
        return;

    const bool nearest = src->StretchFilter() == sfNearest;
    struct EmmsGuard
    {
        ~EmmsGuard() { EMMS(); }
    } emms;
    for (int32_t j = dstBounds.Top; j <= dstBounds.Bottom; ++j) {
        for (int32_t i = dstBounds.Left; i <= dstBounds.Right; ++i) {
            int32_t sx = 0, sy = 0;
            if (!transformation->MapPixel(i, j, !nearest, sx, sy))
                continue; // no defined source position: the pixel is skipped
            TColor32 s;
            if (nearest) {
                if (sx < srcBounds.Left || sx > srcBounds.Right || sy < srcBounds.Top || sy > srcBounds.Bottom)
                    continue;
                s = src->GetPixel(sx, sy);
            } else if (!SampleLinear(src, srcBounds, sx, sy, s)) {
                continue;
            }
            TColor32 &d = *dst->PixelPtr(i, j);
            switch (mode) {
            case dmOpaque: d = s; break;
            case dmBlend: BlendMemEx(s, d, masterAlpha); break;
            case dmCustom: method(s, d, masterAlpha); break;
            }
        }
    }
    dst->Changed();
}

void SetBorderTransparent(TBitmap32 *bitmap, TRect r)
{
    if (!bitmap)
        return;
    if (!TestClip(r.Left, r.Right, bitmap->Width()) || !TestClip(r.Top, r.Bottom, bitmap->Height()))
        return;
    for (int32_t x = r.Left; x <= r.Right; ++x) {
        *bitmap->PixelPtr(x, r.Top) &= 0x00FFFFFF;
        *bitmap->PixelPtr(x, r.Bottom) &= 0x00FFFFFF;
    }
    if (r.Top + 1 < r.Bottom)
        for (int32_t y = r.Top + 1; y < r.Bottom; ++y) {
            *bitmap->PixelPtr(r.Left, y) &= 0x00FFFFFF;
            *bitmap->PixelPtr(r.Right, y) &= 0x00FFFFFF;
        }
    bitmap->Changed();
}

} // namespace strandel
