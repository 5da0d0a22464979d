#include "graphics/rx32.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QIODevice>
#include <QImageReader>

#include "graphics/rx32_transforms.h"
#include "platform/endian.h"

namespace strandel {

// ---- TPersistent -------------------------------------------------------------------------

void TPersistent::Assign(const TPersistent *source)
{
    if (source)
        source->AssignTo(this);
    else
        AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent *dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent *source) const
{
    throw EConvertError(std::string("Cannot assign a ") + (source ? source->ClassName() : "nil") + " to a " +
                        ClassName());
}

// ---- TThreadPersistent -------------------------------------------------------------------

namespace {
std::mutex &LockCountGuard()
{
    static std::mutex guard;
    return guard;
}
} // namespace

void TThreadPersistent::EndUpdate()
{
    if (m_updateCount < 1)
        throw EAssertionFailed("Unpaired TThreadPersistent.EndUpdate");
    --m_updateCount;
}

void TThreadPersistent::Changed()
{
    if (m_updateCount == 0 && OnChange)
        OnChange(this);
}

void TThreadPersistent::Lock()
{
    {
        std::lock_guard g(LockCountGuard());
        ++m_lockCount;
    }
    m_lock.lock();
}

void TThreadPersistent::Unlock()
{
    m_lock.unlock();
    std::lock_guard g(LockCountGuard());
    --m_lockCount;
}

int32_t TThreadPersistent::LockCount() const
{
    std::lock_guard g(LockCountGuard());
    return m_lockCount;
}

// ---- TCustomMap --------------------------------------------------------------------------

void TCustomMap::Resized()
{
    if (OnResize)
        OnResize(this);
}

bool TCustomMap::SetSize(int32_t newWidth, int32_t newHeight)
{
    const bool changed = newWidth != m_width || newHeight != m_height;
    m_width = newWidth;
    m_height = newHeight;
    return changed;
}

bool TCustomMap::SetSizeFrom(const TPersistent *source)
{
    if (!source)
        return SetSize(0, 0);
    if (auto map = dynamic_cast<const TCustomMap *>(source))
        return SetSize(map->Width(), map->Height());
    throw ERx32Error(std::string("Can't set size from '") + source->ClassName() + "'");
}

// ---- TBitmap32: storage ------------------------------------------------------------------

namespace {
// QImage addresses at most 2^31 - 1 bytes; larger pictures cannot be wrapped.
constexpr uint64_t kMaxBytes = 0x7FFFFFFF;
} // namespace

void TBitmap32::FreeDeleter::operator()(TColor32 *p) const { std::free(p); }

TBitmap32::TBitmap32()
{
    m_fontObject.OnChange = [this] { FontChanged(); };
}

TBitmap32::~TBitmap32()
{
    BeginUpdate();
    Lock();
    m_fontObject.OnChange = nullptr;
    SetSize(0, 0);
    Unlock();
}

bool TBitmap32::Empty() const { return !m_bits || Width() == 0 || Height() == 0; }

void TBitmap32::FreeSection()
{
    FontChanged();
    if (m_canvas)
        m_canvas->EndPaint();
    m_canvas.reset();
    m_image = QImage();
    m_memory.reset();
    m_bits = nullptr;
    StoreSize(0, 0);
}

bool TBitmap32::SetSize(int32_t newWidth, int32_t newHeight)
{
    if (newWidth < 0)
        newWidth = 0;
    if (newHeight < 0)
        newHeight = 0;
    if (newWidth == Width() && newHeight == Height())
        return false;
    FreeSection();
    if (newWidth != 0 && newHeight != 0) {
        const uint64_t bytes = uint64_t(newWidth) * uint64_t(newHeight) * 4;
        // Whole 64-byte blocks so that aligned_alloc accepts the size; zeroed: transparent black.
        void *p = bytes <= kMaxBytes ? std::aligned_alloc(64, size_t((bytes + 63) & ~uint64_t(63))) : nullptr;
        if (!p)
            throw ERx32Error("Can't allocate the DIB handle");
        std::memset(p, 0, size_t(bytes));
        m_memory.reset(static_cast<TColor32 *>(p));
        m_bits = m_memory.get();
        m_image = QImage(reinterpret_cast<uchar *>(m_bits), newWidth, newHeight, newWidth * 4, QImage::Format_ARGB32);
        m_canvas = std::make_unique<Canvas>(&m_image);
    }
    StoreSize(newWidth, newHeight);
    HandleChanged();
    Changed();
    Resized();
    return true;
}

Canvas *TBitmap32::Handle()
{
    if (Empty())
        return nullptr;
    // Someone holds a copy of the view: rewrap, so that painting never detaches (moves) it.
    if (!m_canvas->IsPainting() && !m_image.isDetached())
        m_image = QImage(reinterpret_cast<uchar *>(m_bits), Width(), Height(), Width() * 4, QImage::Format_ARGB32);
    return m_canvas.get();
}

void TBitmap32::Clear(TColor32 fillColor)
{
    if (Empty())
        return;
    FillLongword(m_bits, Width() * Height(), fillColor);
    Changed();
}

void TBitmap32::HandleChanged()
{
    if (OnHandleChanged)
        OnHandleChanged(this);
}

void TBitmap32::SetDrawMode(TDrawMode value)
{
    if (value != m_drawMode) {
        m_drawMode = value;
        Changed();
    }
}

void TBitmap32::SetMasterAlpha(uint32_t value)
{
    // Larger values would index past the blend routines' weight range.
    if (value > 255)
        value = 255;
    if (value != m_masterAlpha) {
        m_masterAlpha = value;
        Changed();
    }
}

void TBitmap32::SetStretchFilter(TStretchFilter value)
{
    if (value != m_stretchFilter) {
        m_stretchFilter = value;
        Changed();
    }
}

// ---- TBitmap32: assignment ---------------------------------------------------------------

namespace {
struct UpdateScope
{
    TThreadPersistent &target;
    explicit UpdateScope(TThreadPersistent &t) : target(t) { target.BeginUpdate(); }
    ~UpdateScope() noexcept(false)
    {
        target.EndUpdate();
        if (std::uncaught_exceptions() == 0) {
            target.Changed();
            return;
        }
        try { // already unwinding: a second exception would end the program
            target.Changed();
        } catch (...) {
        }
    }
};
} // namespace

void TBitmap32::Assign(const TPersistent *source)
{
    UpdateScope scope(*this);
    if (!source) {
        SetSize(0, 0);
        return;
    }
    if (auto src = dynamic_cast<const TBitmap32 *>(source)) {
        if (src == this)
            return;
        SetSize(src->Width(), src->Height());
        if (!Empty())
            std::memcpy(m_bits, src->m_bits, size_t(Width()) * size_t(Height()) * 4);
        m_drawMode = src->m_drawMode;
        m_masterAlpha = src->m_masterAlpha;
        OuterColor = src->OuterColor;
        m_stretchFilter = src->m_stretchFilter;
        return;
    }
    TPersistent::Assign(source);
}

void TBitmap32::Assign(const QImage &image)
{
    UpdateScope scope(*this);
    SetSize(image.width(), image.height());
    if (Empty())
        return;
    const bool keepAlpha = image.depth() == 32;
    const QImage src =
        image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32
            ? image
            : image.convertToFormat(keepAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < Height(); ++y)
        std::memcpy(PixelPtr(0, y), src.constScanLine(y), size_t(Width()) * 4);
    if (!keepAlpha)
        ResetAlpha();
}

void TBitmap32::AssignTo(QImage &dest) const
{
    dest = Empty() ? QImage() : m_image.copy();
}

void TBitmap32::AssignTo(TPersistent *dest) const { TPersistent::AssignTo(dest); }

void TBitmap32::AssignFromClipboard()
{
    Assign(qGuiApp ? QGuiApplication::clipboard()->image() : QImage());
}

void TBitmap32::AssignToClipboard() const
{
    if (qGuiApp) {
        QImage image;
        AssignTo(image);
        QGuiApplication::clipboard()->setImage(image);
    }
}

bool TBitmap32::Equal(const TBitmap32 *b) const
{
    if (!b)
        return false;
    if (Empty() || b->Empty())
        return Empty() && b->Empty();
    if (std::strcmp(ClassName(), b->ClassName()) != 0)
        return false;
    // Same bytes as comparing the two saved bitmap files.
    return Width() == b->Width() && Height() == b->Height() &&
           std::memcmp(m_bits, b->m_bits, size_t(Width()) * size_t(Height()) * 4) == 0;
}

// ---- TBitmap32: "Data" ---------------------------------------------------------------------

namespace {
void ReadExactly(QIODevice &stream, void *dst, uint64_t bytes)
{
    auto *p = static_cast<char *>(dst);
    while (bytes > 0) {
        const qint64 n = stream.read(p, qint64(bytes));
        if (n <= 0)
            throw EReadError();
        p += n;
        bytes -= uint64_t(n);
    }
}

void SwapPixelsFromLe(TColor32 *p, uint64_t count)
{
    if constexpr (std::endian::native == std::endian::big) {
        for (uint64_t i = 0; i < count; ++i)
            p[i] = GetLe32(reinterpret_cast<const uint8_t *>(p + i));
    } else {
        (void)p;
        (void)count;
    }
}
} // namespace

void TBitmap32::ReadData(QIODevice &stream)
{
    uint8_t header[8];
    ReadExactly(stream, header, 8);
    const int32_t w = int32_t(GetLe32(header));
    const int32_t h = int32_t(GetLe32(header + 4));
    // Hostile sizes are refused before anything is allocated or changed.
    if (w < 0 || h < 0)
        throw EReadError();
    const uint64_t bytes = uint64_t(w) * uint64_t(h) * 4;
    if (bytes > kMaxBytes)
        throw EReadError();
    if (!stream.isSequential() && uint64_t(stream.size() - stream.pos()) < bytes)
        throw EReadError();
    SetSize(w, h);
    if (m_bits) {
        ReadExactly(stream, m_bits, bytes);
        SwapPixelsFromLe(m_bits, bytes / 4);
    }
    Changed();
}

void TBitmap32::WriteData(QIODevice &stream) const
{
    uint8_t header[8];
    PutLe32(header, uint32_t(Width()));
    PutLe32(header + 4, uint32_t(Height()));
    stream.write(reinterpret_cast<const char *>(header), 8);
    if (Empty())
        return;
    if constexpr (std::endian::native == std::endian::little) {
        stream.write(reinterpret_cast<const char *>(m_bits), qint64(Width()) * Height() * 4);
    } else {
        for (int64_t i = 0, n = int64_t(Width()) * Height(); i < n; ++i) {
            uint8_t px[4];
            PutLe32(px, m_bits[i]);
            stream.write(reinterpret_cast<const char *>(px), 4);
        }
    }
}

bool TBitmap32::DataStored(const TPersistent *ancestor) const
{
    if (ancestor) {
        auto a = dynamic_cast<const TBitmap32 *>(ancestor);
        return !a || !Equal(a);
    }
    return !Empty();
}

// ---- TBitmap32: bitmap files -------------------------------------------------------------

namespace {
constexpr int kFileHeader = 14, kInfoHeader = 40;

// The uncompressed 32-bit form keeps its alpha bytes; Qt's reader would drop them.
bool Parse32BitBmp(const QByteArray &data, QImage &out)
{
    if (data.size() < kFileHeader + kInfoHeader || data[0] != 'B' || data[1] != 'M')
        return false;
    const auto *p = reinterpret_cast<const uint8_t *>(data.constData());
    const uint32_t offset = GetLe32(p + 10);
    const uint32_t infoSize = GetLe32(p + 14);
    const int32_t w = int32_t(GetLe32(p + 18));
    const int32_t hRaw = int32_t(GetLe32(p + 22));
    if (infoSize < 40 || GetLe16(p + 28) != 32 || GetLe32(p + 30) != 0 || w <= 0 || hRaw == 0 ||
        hRaw == INT32_MIN)
        return false;
    const int32_t h = hRaw < 0 ? -hRaw : hRaw;
    const uint64_t bytes = uint64_t(w) * uint64_t(h) * 4;
    if (bytes > kMaxBytes || offset > uint64_t(data.size()) || uint64_t(data.size()) - offset < bytes)
        return false;
    out = QImage(w, h, QImage::Format_ARGB32);
    if (out.isNull())
        return false;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t *row = p + offset + uint64_t(hRaw < 0 ? y : h - 1 - y) * uint64_t(w) * 4;
        auto *dst = reinterpret_cast<uint32_t *>(out.scanLine(y));
        for (int32_t x = 0; x < w; ++x)
            dst[x] = GetLe32(row + size_t(x) * 4);
    }
    return true;
}
} // namespace

void TBitmap32::LoadFromStream(QIODevice &stream)
{
    const QByteArray data = stream.readAll();
    QImage image;
    if (!Parse32BitBmp(data, image) && !image.loadFromData(data, "BMP"))
        throw ERx32Error("Bitmap image is not valid");
    Assign(image);
    Changed();
}

void TBitmap32::SaveToStream(QIODevice &stream) const
{
    const uint32_t imageBytes = uint32_t(uint64_t(Width()) * Height() * 4);
    uint8_t h[kFileHeader + kInfoHeader] = {};
    h[0] = 'B';
    h[1] = 'M';
    PutLe32(h + 2, kFileHeader + kInfoHeader + imageBytes);
    PutLe32(h + 10, kFileHeader + kInfoHeader);
    PutLe32(h + 14, kInfoHeader);
    PutLe32(h + 18, uint32_t(Width()));
    PutLe32(h + 22, uint32_t(Height()));
    PutLe16(h + 26, 1);
    PutLe16(h + 28, 32);
    PutLe32(h + 34, imageBytes);
    stream.write(reinterpret_cast<const char *>(h), sizeof h);
    if (Empty())
        return;
    std::vector<uint8_t> row(size_t(Width()) * 4);
    for (int32_t y = Height() - 1; y >= 0; --y) {
        const TColor32 *src = PixelPtr(0, y);
        for (int32_t x = 0; x < Width(); ++x)
            PutLe32(row.data() + size_t(x) * 4, src[x]);
        stream.write(reinterpret_cast<const char *>(row.data()), qint64(row.size()));
    }
}

bool TBitmap32::LoadFromFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    QImage image;
    if (!Parse32BitBmp(data, image) && !image.loadFromData(data))
        return false;
    Assign(image);
    return true;
}

bool TBitmap32::SaveToFile(const QString &fileName) const
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    SaveToStream(file);
    return file.error() == QFileDevice::NoError;
}

// ---- TBitmap32: drawing between bitmaps and surfaces ---------------------------------------

void TBitmap32::DrawTo(TBitmap32 *dst) { DrawTo(dst, 0, 0); }

void TBitmap32::DrawTo(TBitmap32 *dst, int32_t dstX, int32_t dstY)
{
    if (Empty() || !dst || dst->Empty())
        return;
    BlockTransfer(dst, dstX, dstY, this, MakeRect(0, 0, Width(), Height()), m_drawMode, OnPixelCombine);
    dst->Changed();
}

void TBitmap32::DrawTo(TBitmap32 *dst, const TRect &dstRect)
{
    DrawTo(dst, dstRect, MakeRect(0, 0, Width(), Height()));
}

void TBitmap32::DrawTo(TBitmap32 *dst, const TRect &dstRect, const TRect &srcRect)
{
    if (Empty() || !dst || dst->Empty())
        return;
    StretchTransfer(dst, dstRect, this, srcRect, m_stretchFilter, m_drawMode, OnPixelCombine);
    dst->Changed();
}

void TBitmap32::DrawTo(Canvas &hDst, int32_t dstX, int32_t dstY)
{
    if (Empty())
        return;
    hDst.BitBlt(dstX, dstY, Width(), Height(), m_image, 0, 0);
}

void TBitmap32::DrawTo(Canvas &hDst, const TRect &dstRect, const TRect &srcRect)
{
    if (Empty())
        return;
    hDst.StretchBlt(QRect(dstRect.Left, dstRect.Top, dstRect.Width(), dstRect.Height()), m_image,
                    QRect(srcRect.Left, srcRect.Top, srcRect.Width(), srcRect.Height()));
}

void TBitmap32::Draw(int32_t x, int32_t y, TBitmap32 *src)
{
    if (src)
        src->DrawTo(this, x, y);
}

void TBitmap32::Draw(const TRect &dstRect, const TRect &srcRect, TBitmap32 *src)
{
    if (src)
        src->DrawTo(this, dstRect, srcRect);
}

void TBitmap32::Draw(const TRect &dstRect, const TRect &srcRect, const QImage &hSrc)
{
    if (Empty())
        return;
    Handle()->StretchBlt(QRect(dstRect.Left, dstRect.Top, dstRect.Width(), dstRect.Height()), hSrc,
                         QRect(srcRect.Left, srcRect.Top, srcRect.Width(), srcRect.Height()));
    Changed();
}

void TBitmap32::ResetAlpha()
{
    if (!Empty()) {
        const int64_t n = int64_t(Width()) * Height();
        for (int64_t i = 0; i < n; ++i)
            m_bits[i] |= 0xFF000000u;
    }
    Changed();
}

void TBitmap32::Roll(int32_t dx, int32_t dy, bool fillBack, TColor32 fillColor)
{
    if (Empty() || (dx == 0 && dy == 0))
        return;
    const int64_t w = Width(), h = Height();
    if ((dx < 0 ? -int64_t(dx) : dx) >= w || (dy < 0 ? -int64_t(dy) : dy) >= h) {
        if (fillBack)
            Clear(fillColor);
        return;
    }
    const int64_t shift = dx + dy * w;
    const int64_t total = w * h;
    if (shift > 0)
        std::memmove(m_bits + shift, m_bits, size_t(total - shift) * 4);
    else if (shift < 0)
        std::memmove(m_bits, m_bits - shift, size_t(total + shift) * 4);
    if (fillBack) {
        int64_t rowFrom = 0, rowTo = h; // rows the picture still covers
        if (dy > 0) {
            FillLongword(m_bits, int32_t(dy * w), fillColor);
            rowFrom = dy;
        } else if (dy < 0) {
            FillLongword(m_bits + (h + dy) * w, int32_t(-dy * w), fillColor);
            rowTo = h + dy;
        }
        if (dx != 0) {
            const int64_t col = dx > 0 ? 0 : w + dx;
            const int32_t n = dx > 0 ? dx : -dx;
            for (int64_t y = rowFrom; y < rowTo; ++y)
                FillLongword(m_bits + y * w + col, n, fillColor);
        }
    }
    Changed();
}

} // namespace strandel
