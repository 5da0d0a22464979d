// libFuzzer target: any bytes as a saved report file. Loading must fail cleanly or give a report
// whose every page reads or fails with a message, in any order.
#include <cstdint>
#include <cstdlib>

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "report/pages/pagestore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString name = dir.filePath(QStringLiteral("fuzz.Pgx"));
    {
        QFile f(name);
        if (!f.open(QIODevice::WriteOnly))
            abort();
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    strandel::TPgxPageList list;
    QString error;
    if (!list.LoadFromFile(name, &error)) {
        if (error.isEmpty())
            abort(); // a refusal always says why
        return 0;
    }
    const int32_t count = list.PageCount();
    if (count < 0 || int64_t(count) * 20 > int64_t(size))
        abort();
    // The last page was checked by the load; it must read.
    if (count > 0 && !list.GetPage(count))
        abort();
    for (int32_t n : {count, 1, count / 2 + 1, 2, count + 1}) {
        std::unique_ptr<strandel::TPgxMetafile> page;
        std::unique_ptr<std::vector<strandel::THyperlink>> links;
        QString why;
        bool ok = list.GetPageEx(n, page, links, &why);
        if (ok != bool(page) || (n > count && ok))
            abort();
        if (page) {
            // A page that loaded saves to a form that loads to the same page.
            std::vector<uint8_t> bytes = page->Save();
            strandel::TPgxMetafile again;
            if (!again.Load(bytes.data(), bytes.size()) || !(again == *page))
                abort();
            page->ContainsText(QStringLiteral("x"), false);
        }
    }
    return 0;
}
