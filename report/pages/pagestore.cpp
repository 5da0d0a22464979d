#include "report/pages/pagestore.h"

#include <algorithm>
#include <cstring>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include "platform/endian.h"
#include "report/pages/splay.h"

namespace strandel {

namespace {

constexpr int64_t CopyBlock = 10240;
// Head (page number, next offset) and tail (record start) of a page record.
constexpr int64_t RecordOverhead = 12;
// The smallest record: overhead, a length word and the code of an empty metafile.
constexpr int64_t MinRecord = RecordOverhead + 4 + int64_t(TPgxMetafile::HeaderSize) / 8;
// A page body larger than this is taken as damage, not as a page.
constexpr int64_t MaxBody = int64_t(1) << 30;
constexpr uint32_t LinkEntryMin = 20;

double NowAsDays()
{
    QDateTime now = QDateTime::currentDateTime();
    return double(QDate(1899, 12, 30).daysTo(now.date())) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

bool Fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

// ---- page stream

TPgxStream::TPgxStream(int64_t minSize) : m_limit(minSize) {}

std::unique_ptr<TPgxStream> TPgxStream::Open(const QString &fileName, QString *error)
{
    std::unique_ptr<TPgxStream> s(new TPgxStream());
    s->m_file = std::make_unique<QFile>(fileName);
    if (!s->m_file->open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open \"%1\": %2").arg(fileName, s->m_file->errorString());
        return nullptr;
    }
    s->m_inMemory = false;
    s->m_readOnly = true;
    return s;
}

TPgxStream::~TPgxStream()
{
    std::lock_guard g(m_lock);
    // The temporary file removes itself; a file opened for reading is only closed.
    m_file.reset();
    m_temp.reset();
}

QString TPgxStream::TempFileName() const
{
    return m_temp ? m_temp->fileName() : QString();
}

static QIODevice *Device(std::unique_ptr<QTemporaryFile> &temp, std::unique_ptr<QFile> &file)
{
    if (temp)
        return temp.get();
    return file.get();
}

bool TPgxStream::Spill()
{
    auto temp = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/PgxXXXXXX"));
    if (!temp->open()) {
        m_error = QStringLiteral("Cannot create a temporary page file: %1").arg(temp->errorString());
        return false;
    }
    if (temp->write(reinterpret_cast<const char *>(m_memory.data()), qint64(m_memory.size())) != qint64(m_memory.size())
        || !temp->seek(m_memPos)) {
        m_error = QStringLiteral("Cannot write the temporary page file: %1").arg(temp->errorString());
        return false;
    }
    m_temp = std::move(temp);
    std::vector<uint8_t>().swap(m_memory);
    m_inMemory = false;
    return true;
}

int64_t TPgxStream::Write(const void *data, int64_t count)
{
    std::lock_guard g(m_lock);
    if (count <= 0)
        return 0;
    if (m_inMemory) {
        size_t end = size_t(m_memPos + count);
        if (end > m_memory.size())
            m_memory.resize(end);
        std::memcpy(m_memory.data() + m_memPos, data, size_t(count));
        m_memPos += count;
        // Past the limit the pages move to a file; should that fail they stay in memory.
        if (int64_t(m_memory.size()) > m_limit)
            Spill();
        return count;
    }
    if (m_readOnly) {
        m_error = QStringLiteral("The report file is open for reading only");
        return 0;
    }
    QIODevice *d = Device(m_temp, m_file);
    int64_t n = d->write(static_cast<const char *>(data), count);
    if (n != count)
        m_error = d->errorString();
    return std::max<int64_t>(n, 0);
}

int64_t TPgxStream::Read(void *data, int64_t count)
{
    std::lock_guard g(m_lock);
    if (count <= 0)
        return 0;
    if (m_inMemory) {
        int64_t n = std::clamp<int64_t>(int64_t(m_memory.size()) - m_memPos, 0, count);
        if (n > 0)
            std::memcpy(data, m_memory.data() + m_memPos, size_t(n));
        m_memPos += n;
        return n;
    }
    int64_t n = Device(m_temp, m_file)->read(static_cast<char *>(data), count);
    return std::max<int64_t>(n, 0);
}

bool TPgxStream::Seek(int64_t pos)
{
    std::lock_guard g(m_lock);
    if (pos < 0)
        return false;
    if (m_inMemory) {
        m_memPos = pos;
        return true;
    }
    return Device(m_temp, m_file)->seek(pos);
}

int64_t TPgxStream::Position()
{
    std::lock_guard g(m_lock);
    return m_inMemory ? m_memPos : Device(m_temp, m_file)->pos();
}

int64_t TPgxStream::Size()
{
    std::lock_guard g(m_lock);
    return m_inMemory ? int64_t(m_memory.size()) : Device(m_temp, m_file)->size();
}

bool TPgxStream::Truncate(int64_t size)
{
    std::lock_guard g(m_lock);
    if (m_inMemory) {
        if (size_t(size) < m_memory.size())
            m_memory.resize(size_t(size));
        m_memPos = std::min<int64_t>(m_memPos, size);
        return true;
    }
    if (m_readOnly || !m_temp)
        return false;
    return m_temp->resize(size) && m_temp->seek(std::min<int64_t>(m_temp->pos(), size));
}

bool TPgxStream::SaveToStream(QIODevice &dest)
{
    std::lock_guard g(m_lock);
    if (!Seek(0))
        return false;
    char block[CopyBlock];
    for (;;) {
        int64_t n = Read(block, CopyBlock);
        if (n == 0)
            return true;
        if (dest.write(block, n) != n)
            return false;
    }
}

// ---- page list

TPgxPageListLock::TPgxPageListLock(TPgxPageList &list) : m_list(list)
{
    m_list.LockList();
    m_stream = m_list.Stream();
    if (m_stream)
        m_stream->LockStream();
}

TPgxPageListLock::~TPgxPageListLock()
{
    if (m_stream)
        m_stream->UnlockStream();
    m_list.UnlockList();
}

TPgxPageList::TPgxPageList() : m_clock(NowAsDays) {}

TPgxPageList::~TPgxPageList() = default;

void TPgxPageList::SetStream(std::unique_ptr<TPgxStream> stream)
{
    std::lock_guard g(m_lock);
    m_stream = std::move(stream);
}

std::unique_ptr<TPgxStream> TPgxPageList::TakeStream()
{
    std::lock_guard g(m_lock);
    return std::move(m_stream);
}

void TPgxPageList::AddOutline(int32_t level, const QString &caption, const PgxRect &area, int32_t page)
{
    std::lock_guard g(m_lock);
    m_outline.AddNode(caption, level, area, page);
}

bool TPgxPageList::WriteHeader(int32_t pageCount)
{
    TPgxPageListLock g(*this);
    if (!m_stream)
        return false;
    uint8_t h[PgxFileHeaderSize] = {};
    PutLe16(h, PgxFileFormat);
    PutLe16(h + 2, PgxFileVersion);
    PutLe32(h + 8, uint32_t(pageCount));
    double now = m_clock ? m_clock() : NowAsDays();
    uint64_t bits;
    std::memcpy(&bits, &now, 8);
    PutLe64(h + 16, bits);
    h[25] = m_compression ? 1 : 0;
    int64_t pos = m_stream->Position();
    bool ok = m_stream->Seek(0) && m_stream->Write(h, PgxFileHeaderSize) == PgxFileHeaderSize;
    // A header rewritten at the end of a run leaves the position where it was.
    if (pos > PgxFileHeaderSize)
        m_stream->Seek(pos);
    return ok;
}

int TPgxPageList::HeaderSize()
{
    // An old file's first page begins 4 bytes earlier: its metafile signature then shows at 173.
    int64_t pos = m_stream->Position();
    char sig[5] = {};
    int size = PgxFileHeaderSize;
    if (m_stream->Seek(173) && m_stream->Read(sig, 4) == 4 && std::strcmp(sig, "EMF") == 0)
        size = PgxOldFileHeaderSize;
    m_stream->Seek(pos);
    return size;
}

bool TPgxPageList::ReadFileHeader(QString *error)
{
    TPgxPageListLock g(*this);
    if (!m_stream)
        return Fail(error, QStringLiteral("No report is open"));
    int64_t size = m_stream->Size();
    uint8_t h[PgxFileHeaderSize];
    if (size < PgxOldFileHeaderSize || !m_stream->Seek(0) || m_stream->Read(h, PgxFileHeaderSize) < PgxOldFileHeaderSize)
        return Fail(error, QStringLiteral("The file is too short to be a saved report"));
    uint16_t format = GetLe16(h);
    if (format == PgxForeignFormat) {
        if (HeaderSize() == PgxOldFileHeaderSize)
            return Fail(error, QStringLiteral("The file is a saved report of an old kind (124-byte header) whose pages "
                                              "are Windows metafiles; it cannot be read"));
        return Fail(error, QStringLiteral("The file is a saved report whose pages are Windows metafiles; only "
                                          "reports saved by this program can be read"));
    }
    if (format != PgxFileFormat || size < PgxFileHeaderSize)
        return Fail(error, QStringLiteral("The file is not a saved report"));
    int32_t count = int32_t(GetLe32(h + 8));
    uint8_t compressed = h[25];
    if (compressed > 1)
        return Fail(error, QStringLiteral("The saved report's header is damaged (compression flag %1)").arg(compressed));
    if (count < 0 || count > (size - PgxFileHeaderSize) / MinRecord)
        return Fail(error, QStringLiteral("The saved report's header is damaged (page count %1)").arg(count));
    m_pageCount = count;
    m_compression = compressed == 1;
    return true;
}

bool TPgxPageList::ReadRecordAt(int64_t at, int32_t expectPage, Record &rec, int32_t *page)
{
    int64_t size = m_stream->Size();
    uint8_t head[8];
    if (at < PgxFileHeaderSize || at > size - RecordOverhead || !m_stream->Seek(at) || m_stream->Read(head, 8) != 8)
        return false;
    int32_t p = int32_t(GetLe32(head));
    int64_t next = GetLe32(head + 4);
    if (p < 1 || p > m_pageCount || (expectPage && p != expectPage))
        return false;
    if (next < at + RecordOverhead || next > size)
        return false;
    uint8_t tail[4];
    if (!m_stream->Seek(next - 4) || m_stream->Read(tail, 4) != 4 || int64_t(GetLe32(tail)) != at)
        return false;
    rec.start = at;
    rec.bodyStart = at + 8;
    rec.tail = next - 4;
    rec.next = next;
    if (page)
        *page = p;
    return true;
}

bool TPgxPageList::SeekToFirst()
{
    TPgxPageListLock g(*this);
    return m_stream && m_stream->Seek(PgxFileHeaderSize);
}

bool TPgxPageList::SeekToLast()
{
    TPgxPageListLock g(*this);
    if (!m_stream)
        return false;
    int64_t size = m_stream->Size();
    uint8_t b[4];
    if (size < PgxFileHeaderSize + RecordOverhead || !m_stream->Seek(size - 4) || m_stream->Read(b, 4) != 4)
        return false;
    return m_stream->Seek(GetLe32(b));
}

bool TPgxPageList::WalkTo(int32_t n)
{
    // The walk starts where the last operation left the stream, so reading pages in order costs
    // one step each; it never takes more steps than there are pages.
    if (n == 1)
        SeekToFirst();
    else if (m_stream->Position() == m_stream->Size())
        SeekToLast();
    for (int32_t steps = 0; steps <= m_pageCount; ++steps) {
        int64_t at = m_stream->Position();
        Record rec;
        int32_t p;
        if (!ReadRecordAt(at, 0, rec, &p))
            return false;
        if (p == n)
            return m_stream->Seek(at);
        if (p < n) {
            if (!m_stream->Seek(rec.next))
                return false;
        } else {
            uint8_t b[4];
            if (!m_stream->Seek(at - 4) || m_stream->Read(b, 4) != 4)
                return false;
            int64_t prev = GetLe32(b);
            if (prev >= at || !m_stream->Seek(prev))
                return false;
        }
    }
    return false;
}

bool TPgxPageList::SeekToPage(int32_t n)
{
    TPgxPageListLock g(*this);
    if (!m_stream || n < 1 || n > m_pageCount)
        return false;
    int64_t pos = m_stream->Position();
    if (WalkTo(n))
        return true;
    // A walk from a damaged spot gets one more try from the first page.
    if (pos != PgxFileHeaderSize && m_stream->Seek(PgxFileHeaderSize) && WalkTo(n))
        return true;
    return false;
}

bool TPgxPageList::AddPage(const TPgxMetafile &page, QString *error)
{
    return Append(page, nullptr, false, error);
}

bool TPgxPageList::AddPageEx(const TPgxMetafile &page, const std::vector<THyperlink> *links, QString *error)
{
    return Append(page, links, true, error);
}

bool TPgxPageList::Append(const TPgxMetafile &page, const std::vector<THyperlink> *links, bool withLinks,
                          QString *error)
{
    TPgxPageListLock g(*this);
    if (!m_stream)
        return Fail(error, QStringLiteral("No page stream to store the page in"));
    if (m_stream->ReadOnly())
        return Fail(error, QStringLiteral("Pages cannot be added to a loaded report"));
    const int32_t number = m_pageCount + 1;
    // The first page reserves the header, counting itself; Finish writes the final count.
    if (number == 1) {
        if (!WriteHeader(1))
            return Fail(error, QStringLiteral("Cannot store the page: %1").arg(m_stream->ErrorString()));
    }
    std::vector<uint8_t> metafile = page.Save();
    std::vector<uint8_t> rec(8);
    if (m_compression) {
        uint8_t len[4];
        PutLe32(len, uint32_t(metafile.size()));
        rec.insert(rec.end(), len, len + 4);
        std::vector<uint8_t> code = PgxCompressBytes(metafile.data(), metafile.size());
        rec.insert(rec.end(), code.begin(), code.end());
    } else {
        rec.insert(rec.end(), metafile.begin(), metafile.end());
    }
    if (withLinks) {
        uint8_t w[4];
        PutLe32(w, links ? uint32_t(links->size()) : 0);
        rec.insert(rec.end(), w, w + 4);
        if (links) {
            for (const THyperlink &l : *links) {
                uint8_t e[20];
                PutLe32(e, uint32_t(l.Rect.left));
                PutLe32(e + 4, uint32_t(l.Rect.top));
                PutLe32(e + 8, uint32_t(l.Rect.right));
                PutLe32(e + 12, uint32_t(l.Rect.bottom));
                QByteArray text = l.Link.toUtf8();
                PutLe32(e + 16, uint32_t(text.size()));
                rec.insert(rec.end(), e, e + 20);
                rec.insert(rec.end(), text.begin(), text.end());
            }
        }
    }
    int64_t start = m_stream->Size();
    int64_t next = start + int64_t(rec.size()) + 4;
    if (next > 0xffffffffLL)
        return Fail(error, QStringLiteral("The report has grown past the largest file it can be saved as"));
    PutLe32(rec.data(), uint32_t(number));
    PutLe32(rec.data() + 4, uint32_t(next));
    uint8_t tail[4];
    PutLe32(tail, uint32_t(start));
    rec.insert(rec.end(), tail, tail + 4);
    if (!m_stream->Seek(start) || m_stream->Write(rec.data(), int64_t(rec.size())) != int64_t(rec.size())) {
        // Nothing half-written stays in the chain.
        m_stream->Truncate(start);
        return Fail(error, QStringLiteral("Cannot store page %1: %2").arg(number).arg(m_stream->ErrorString()));
    }
    m_pageCount = number;
    return true;
}

std::unique_ptr<TPgxMetafile> TPgxPageList::GetPage(int32_t pageNumber, QString *error)
{
    std::unique_ptr<TPgxMetafile> page;
    ReadPage(pageNumber, page, nullptr, error);
    return page;
}

bool TPgxPageList::GetPageEx(int32_t pageNumber, std::unique_ptr<TPgxMetafile> &page,
                             std::unique_ptr<std::vector<THyperlink>> &links, QString *error)
{
    return ReadPage(pageNumber, page, &links, error);
}

bool TPgxPageList::ReadPage(int32_t n, std::unique_ptr<TPgxMetafile> &page,
                            std::unique_ptr<std::vector<THyperlink>> *links, QString *error)
{
    page.reset();
    if (links)
        links->reset();
    TPgxPageListLock g(*this);
    if (!m_stream || n < 1 || n > m_pageCount)
        return false;
    Record rec;
    if (!SeekToPage(n) || !ReadRecordAt(m_stream->Position(), n, rec))
        return Fail(error, QStringLiteral("Page %1 of the report cannot be found: the file is damaged").arg(n));
    auto damaged = [&](const char *what) {
        return Fail(error, QStringLiteral("Page %1 of the report is damaged (%2)").arg(n).arg(QLatin1String(what)));
    };
    int64_t bodySize = rec.tail - rec.bodyStart;
    if (bodySize > MaxBody)
        return damaged("too large");
    std::vector<uint8_t> body(static_cast<size_t>(bodySize));
    if (!m_stream->Seek(rec.bodyStart) || m_stream->Read(body.data(), bodySize) != bodySize)
        return damaged("cut short");
    auto mf = std::make_unique<TPgxMetafile>();
    size_t used = 0;
    QString why;
    if (m_compression) {
        if (body.size() < 4)
            return damaged("no length");
        uint32_t len = GetLe32(body.data());
        std::vector<uint8_t> plain;
        size_t consumed = 0;
        if (len > MaxBody || !PgxExpandBytes(body.data() + 4, body.size() - 4, len, plain, &consumed))
            return damaged("the compressed code ends early");
        if (!mf->Load(plain.data(), plain.size(), &why) || mf->SavedSize() != plain.size())
            return Fail(error, QStringLiteral("Page %1 of the report is damaged (%2)").arg(n).arg(why));
        used = 4 + consumed;
    } else {
        if (!mf->Load(body.data(), body.size(), &why))
            return Fail(error, QStringLiteral("Page %1 of the report is damaged (%2)").arg(n).arg(why));
        used = mf->SavedSize();
    }
    // Whatever follows the page in its record is its link list.
    if (used < body.size()) {
        const uint8_t *p = body.data() + used;
        size_t left = body.size() - used;
        if (left < 4)
            return damaged("bad link list");
        uint32_t count = GetLe32(p);
        p += 4, left -= 4;
        if (count > left / LinkEntryMin)
            return damaged("bad link count");
        auto list = std::make_unique<std::vector<THyperlink>>();
        for (uint32_t i = 0; i < count; ++i) {
            if (left < LinkEntryMin)
                return damaged("bad link list");
            THyperlink l;
            l.Rect = {int32_t(GetLe32(p)), int32_t(GetLe32(p + 4)), int32_t(GetLe32(p + 8)), int32_t(GetLe32(p + 12))};
            uint32_t len = GetLe32(p + 16);
            p += 20, left -= 20;
            if (len > left)
                return damaged("bad link text");
            l.Link = QString::fromUtf8(reinterpret_cast<const char *>(p), qsizetype(len));
            p += len, left -= len;
            list->push_back(std::move(l));
        }
        if (left != 0)
            return damaged("bytes after the link list");
        if (links && !list->empty())
            *links = std::move(list);
    }
    // Leave the stream at the next record, for the next walk.
    m_stream->Seek(rec.next);
    page = std::move(mf);
    return true;
}

bool TPgxPageList::CheckChain(QString *error)
{
    int64_t at = PgxFileHeaderSize;
    for (int32_t i = 1; i <= m_pageCount; ++i) {
        Record rec;
        if (!ReadRecordAt(at, i, rec))
            return Fail(error, QStringLiteral("The saved report is damaged: the record of page %1 is broken").arg(i));
        at = rec.next;
    }
    if (at != m_stream->Size())
        return Fail(error, QStringLiteral("The saved report is damaged: it goes on after its last page"));
    return true;
}

bool TPgxPageList::LoadFromFile(const QString &fileName, QString *error)
{
    std::unique_ptr<TPgxStream> stream = TPgxStream::Open(fileName, error);
    if (!stream)
        return false;
    std::lock_guard g(m_lock);
    // Try the file on the side; the current pages stay until it has proved sound.
    std::unique_ptr<TPgxStream> old = std::move(m_stream);
    int32_t oldCount = m_pageCount;
    bool oldCompression = m_compression;
    m_stream = std::move(stream);
    bool ok = ReadFileHeader(error) && CheckChain(error);
    if (ok && m_pageCount >= 1) {
        // Reading the last page checks it and leaves the stream behind the last record.
        QString why;
        ok = GetPage(m_pageCount, &why) != nullptr;
        if (!ok && error)
            *error = why;
    }
    if (!ok) {
        if (error)
            *error = QStringLiteral("\"%1\" cannot be loaded. %2").arg(fileName, *error);
        m_stream = std::move(old);
        m_pageCount = oldCount;
        m_compression = oldCompression;
        return false;
    }
    return true;
}

bool TPgxPageList::SaveToFile(const QString &fileName, QString *error)
{
    TPgxPageListLock g(*this);
    if (!m_stream)
        return Fail(error, QStringLiteral("There is no report to save"));
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly))
        return Fail(error, QStringLiteral("Cannot create \"%1\": %2").arg(fileName, out.errorString()));
    if (!m_stream->SaveToStream(out)) {
        out.cancelWriting();
        return Fail(error, QStringLiteral("Cannot write \"%1\": %2").arg(fileName, out.errorString()));
    }
    if (!out.commit())
        return Fail(error, QStringLiteral("Cannot write \"%1\": %2").arg(fileName, out.errorString()));
    return true;
}

} // namespace strandel
