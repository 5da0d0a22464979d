#pragma once
// Moving pixels from a rectangle of one bitmap into another: 1:1 block transfer and
// stretching with four resampling filters (neither calls Changed; callers do), and drawing
// through affine and projective transformations.
#include <vector>

#include "graphics/rx32.h"

namespace strandel {

class ETransformError : public ERx32Error
{
public:
    using ERx32Error::ERx32Error;
};

struct TClusterEntry
{
    int32_t Pos;
    int32_t Weight;
    bool operator==(const TClusterEntry &) const = default;
};
using TCluster = std::vector<TClusterEntry>;
using TMappingTable = std::vector<TCluster>;

void BlockTransfer(TBitmap32 *dst, int32_t dstX, int32_t dstY, TBitmap32 *src, TRect srcRect, TDrawMode combineOp,
                   const TPixelCombineEvent &combineCallBack = {});

void StretchTransfer(TBitmap32 *dst, TRect dstRect, TBitmap32 *src, TRect srcRect, TStretchFilter stretchFilter,
                     TDrawMode combineOp, const TPixelCombineEvent &combineCallBack = {});

// The source index of each of count destination columns (or rows) from clipOffset on, when srcW
// of them starting at from are stretched over dstW by nearest sampling (sizes differing).
std::vector<int32_t> NearestTable(int64_t from, int64_t srcW, int64_t dstW, int64_t clipOffset, int64_t count);

// The source taps of every destination column (or row) of one axis, weights in 1/256.
TMappingTable BuildMapping(int32_t dstSize, int32_t srcSize, int32_t srcFrom, int32_t srcTo,
                           TStretchFilter filter);

// ---- 3x3 matrices: M[c][r] is column c, row r; a point is the column vector (x, y, 1).
struct TFloatMatrix
{
    float M[3][3];
    float *operator[](int c) { return M[c]; }
    const float *operator[](int c) const { return M[c]; }
    bool operator==(const TFloatMatrix &) const = default;
};

extern const TFloatMatrix IdentityMatrix;

void Adjoint(TFloatMatrix &m);
float Determinant(const TFloatMatrix &m);
void Scale(TFloatMatrix &m, float factor);
// The inverse; the identity when abs(det) < 1e-5 (or det is not a number).
void Invert(TFloatMatrix &m);
// Applying the result equals applying m2 first, then m1.
TFloatMatrix Mult(const TFloatMatrix &m1, const TFloatMatrix &m2);

// Maps destination pixels back to source pixels.
class TTransformation
{
public:
    virtual ~TTransformation() = default;

    const TFloatRect &SrcRect() const { return m_srcRect; }
    void SetSrcRect(const TFloatRect &value);
    bool Prepared() const { return m_prepared; }

    // The source pixel of a destination pixel, and the same in 24.8 fixed point. They use the
    // prepared data as it is; call PrepareTransform first.
    virtual void Transform(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY) = 0;
    virtual void Transform256(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY) = 0;
    virtual void PrepareTransform() = 0;
    // The integer rectangle covering the image of SrcRect.
    virtual TRect GetTransformedBounds() = 0;

    // For the drawing routine: like Transform (or Transform256), but false for a pixel with no
    // usable source position (no finite value, or one too large for pixel arithmetic).
    virtual bool MapPixel(int32_t dstX, int32_t dstY, bool fine, int32_t &srcX, int32_t &srcY) = 0;

protected:
    TFloatRect m_srcRect;
    bool m_prepared = false;
};

class TAffineTransformation : public TTransformation
{
public:
    TAffineTransformation() { Clear(); }

    const TFloatMatrix &Matrix() const { return m_matrix; }
    void Clear();
    void Translate(float dx, float dy);
    void Scale(float sx, float sy);
    void Skew(float fx, float fy);
    void Rotate(float cx, float cy, float alpha); // degrees, counter-clockwise on screen

    void Transform(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY) override;
    void Transform256(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY) override;
    void PrepareTransform() override;
    TRect GetTransformedBounds() override;
    bool MapPixel(int32_t dstX, int32_t dstY, bool fine, int32_t &srcX, int32_t &srcY) override;

    // The first two rows of the inverse in 20.12 fixed point.
    int32_t I00 = 0, I10 = 0, I20 = 0, I01 = 0, I11 = 0, I21 = 0;

private:
    void Apply(const TFloatMatrix &t);
    TFloatMatrix m_matrix;
};

// Maps SrcRect onto the quadrilateral of the four corners: 0 top-left, 1 top-right,
// 2 bottom-right, 3 bottom-left.
class TProjectiveTransformation : public TTransformation
{
public:
    float X0() const { return m_x[0]; }
    float X1() const { return m_x[1]; }
    float X2() const { return m_x[2]; }
    float X3() const { return m_x[3]; }
    float Y0() const { return m_y[0]; }
    float Y1() const { return m_y[1]; }
    float Y2() const { return m_y[2]; }
    float Y3() const { return m_y[3]; }
    void SetX0(float v) { SetCorner(m_x[0], v); }
    void SetX1(float v) { SetCorner(m_x[1], v); }
    void SetX2(float v) { SetCorner(m_x[2], v); }
    void SetX3(float v) { SetCorner(m_x[3], v); }
    void SetY0(float v) { SetCorner(m_y[0], v); }
    void SetY1(float v) { SetCorner(m_y[1], v); }
    void SetY2(float v) { SetCorner(m_y[2], v); }
    void SetY3(float v) { SetCorner(m_y[3], v); }
    // Destination to source once prepared.
    const TFloatMatrix &Matrix() const { return m_matrix; }

    // A source rectangle of no width or height raises ETransformError and leaves it unprepared.
    void PrepareTransform() override;
    // A point whose denominator is 0 leaves the outputs as they were.
    void Transform(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY) override;
    void Transform256(int32_t dstX, int32_t dstY, int32_t &srcX, int32_t &srcY) override;
    TRect GetTransformedBounds() override;
    bool MapPixel(int32_t dstX, int32_t dstY, bool fine, int32_t &srcX, int32_t &srcY) override;

private:
    void SetCorner(float &corner, float v)
    {
        corner = v;
        m_prepared = false;
    }
    float m_x[4] = {0, 0, 0, 0};
    float m_y[4] = {0, 0, 0, 0};
    TFloatMatrix m_matrix{};
};

// Draws src into dst through the transformation (src's DrawMode, MasterAlpha, StretchFilter,
// OnPixelCombine and OuterColor apply); prepares the transformation when needed.
void Transform(TBitmap32 *dst, TBitmap32 *src, TTransformation *transformation);
// Clears the alpha byte of the rectangle's outline (right and bottom included after clipping).
void SetBorderTransparent(TBitmap32 *bitmap, TRect rect);

} // namespace strandel
