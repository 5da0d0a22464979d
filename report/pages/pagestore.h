#pragma once
// The page stream and the page list: the pages of a generated report, kept in memory until they
// pass a size limit and in a temporary "Pgx" file after that. The stream's layout is the saved
// report file: a 128-byte header, then one linked record per page.
//
// Saved report file, little-endian:
//   header  0: format word (ours, PgxFileFormat)   2: version word 403   8: page count
//          16: creation time (double, days since 30 Dec 1899, local)   25: compressed flag
//          everything else zero
//   record  page number (1-based), offset of the byte after the record, body, offset of the
//           record's own start. The body is a page metafile, or with compression its length and
//           its splay-tree code; a link list (count, then rectangle, length and text of each)
//           may follow either.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QString>

#include "report/pages/hyperlink.h"
#include "report/pages/metafile.h"
#include "report/pages/outline.h"

class QFile;
class QIODevice;
class QTemporaryFile;

namespace strandel {

constexpr uint16_t PgxFileFormat = 0x5053; // "SP": pages are our metafiles
constexpr uint16_t PgxForeignFormat = 3;   // pages are Windows metafiles
constexpr uint16_t PgxFileVersion = 403;
constexpr int PgxFileHeaderSize = 128;
constexpr int PgxOldFileHeaderSize = 124;
constexpr int64_t PgxDefaultMemoryLimit = 250000;

class TPgxStream
{
public:
    // In memory until more than minSize bytes are held.
    explicit TPgxStream(int64_t minSize);
    // Read-only on an existing file; null (and error) when it cannot be opened.
    static std::unique_ptr<TPgxStream> Open(const QString &fileName, QString *error);
    ~TPgxStream();
    TPgxStream(const TPgxStream &) = delete;
    TPgxStream &operator=(const TPgxStream &) = delete;

    void LockStream() { m_lock.lock(); }
    void UnlockStream() { m_lock.unlock(); }

    // Short counts mean a failed device (see ErrorString).
    int64_t Write(const void *data, int64_t count);
    int64_t Read(void *data, int64_t count);
    bool Seek(int64_t pos);
    int64_t Position();
    int64_t Size();
    // Cuts the stream back (after a failed append).
    bool Truncate(int64_t size);
    // Copies everything from offset 0 in blocks of 10,240 bytes.
    bool SaveToStream(QIODevice &dest);

    bool InMemory() const { return m_inMemory.load(); }
    bool ReadOnly() const { return m_readOnly; }
    QString TempFileName() const;
    QString ErrorString() const { return m_error; }

private:
    TPgxStream() = default;
    bool Spill();

    std::recursive_mutex m_lock;
    std::vector<uint8_t> m_memory;
    int64_t m_memPos = 0;
    std::atomic<bool> m_inMemory{true};
    bool m_readOnly = false;
    int64_t m_limit = 0;
    std::unique_ptr<QTemporaryFile> m_temp;
    std::unique_ptr<QFile> m_file;
    QString m_error;
};

class TPgxPageList
{
public:
    TPgxPageList();
    ~TPgxPageList();
    TPgxPageList(const TPgxPageList &) = delete;
    TPgxPageList &operator=(const TPgxPageList &) = delete;

    void LockList() { m_lock.lock(); }
    void UnlockList() { m_lock.unlock(); }

    void SetStream(std::unique_ptr<TPgxStream> stream);
    std::unique_ptr<TPgxStream> TakeStream();
    TPgxStream *Stream() const { return m_stream.get(); }

    bool Compression() const { return m_compression.load(); }
    void SetCompression(bool on) { m_compression = on; }
    // Safe to ask from any thread; a page it counts can be fetched.
    int32_t PageCount() const { return m_pageCount.load(); }
    void Clear() { m_pageCount = 0; }

    // The creation time written into headers, as days since 30 December 1899 (tests fix it).
    void SetClock(std::function<double()> clock) { m_clock = std::move(clock); }

    bool Finish() { return WriteFileHeader(); }
    bool WriteFileHeader() { return WriteHeader(m_pageCount); }
    // Reads and checks the header of the current stream; takes page count and compression.
    bool ReadFileHeader(QString *error = nullptr);

    bool AddPage(const TPgxMetafile &page, QString *error = nullptr);
    // links may be null. The links are kept with the page, compressed or not.
    bool AddPageEx(const TPgxMetafile &page, const std::vector<THyperlink> *links, QString *error = nullptr);

    // Null beyond the page count or for a page that cannot be read (error then says why).
    std::unique_ptr<TPgxMetafile> GetPage(int32_t pageNumber, QString *error = nullptr);
    // links is null when the page has none.
    bool GetPageEx(int32_t pageNumber, std::unique_ptr<TPgxMetafile> &page,
                   std::unique_ptr<std::vector<THyperlink>> &links, QString *error = nullptr);

    // Opens a saved report read-only in place of the current stream. A file that is not a
    // report of ours, or that is damaged, is refused with a message and the current pages stay.
    bool LoadFromFile(const QString &fileName, QString *error = nullptr);
    // Writes the current pages to a file through a temporary file and a rename, so saving over
    // the loaded file (or failing half-way) never destroys it.
    bool SaveToFile(const QString &fileName, QString *error = nullptr);

    void AddOutline(int32_t level, const QString &caption, const PgxRect &area, int32_t page);
    TPgxOutline &Outline() { return m_outline; }

    bool SeekToFirst();
    bool SeekToLast();
    bool SeekToPage(int32_t pageNumber);

private:
    struct Record {
        int64_t start = 0, bodyStart = 0, tail = 0, next = 0;
    };
    bool WriteHeader(int32_t pageCount);
    bool Append(const TPgxMetafile &page, const std::vector<THyperlink> *links, bool withLinks, QString *error);
    bool ReadPage(int32_t pageNumber, std::unique_ptr<TPgxMetafile> &page,
                  std::unique_ptr<std::vector<THyperlink>> *links, QString *error);
    bool WalkTo(int32_t pageNumber);
    bool ReadRecordAt(int64_t at, int32_t expectPage, Record &rec, int32_t *page = nullptr);
    int HeaderSize();
    bool CheckChain(QString *error);

    std::recursive_mutex m_lock;
    std::atomic<bool> m_compression{false};
    std::atomic<int32_t> m_pageCount{0};
    std::unique_ptr<TPgxStream> m_stream;
    TPgxOutline m_outline;
    std::function<double()> m_clock;
};

// Locks the list, then its stream: the one order every reader and writer keeps.
class TPgxPageListLock
{
public:
    explicit TPgxPageListLock(TPgxPageList &list);
    ~TPgxPageListLock();

private:
    TPgxPageList &m_list;
    TPgxStream *m_stream;
};

} // namespace strandel
