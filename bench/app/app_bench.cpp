// Start-up costs that grow with the user's files: the address book form loading 100,000 and
// 400,000 entries (against reading the same records without the form), and 60 settings
// reads from a 1 MB settings file (against a new QSettings per read).
#include "platform/settings.h"
#include "viewer/app/dvrlist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

using namespace strandel;

namespace {

void WriteBook(const QString &path, int n)
{
    QByteArray all(qsizetype(n) * DvrListRecord::kSize, 0);
    for (int i = 0; i < n; ++i) {
        DvrListRecord r;
        r.kind = uint8_t(DvrKind::Network);
        r.ip = {10, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)};
        SetField(r.name, ("DVR " + std::to_string(i)).c_str());
        r.Write(reinterpret_cast<uint8_t *>(all.data()) + size_t(i) * DvrListRecord::kSize);
    }
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(all);
}

double Ms(QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath("settings.ini"));

    std::printf("address book load       entries    form ms   records ms   ratio   us/entry\n");
    for (int n : {100000, 400000}) {
        WriteBook(dir.filePath("Strandel.lst"), n);
        QElapsedTimer t;
        t.start();
        int loaded = 0;
        {
            TfrmDvrList book(nullptr, dir.path());
            loaded = book.RecordCount();
        }
        const double form = Ms(t);
        // Reference: the same records read and parsed, nothing shown.
        t.restart();
        QFile f(dir.filePath("Strandel.lst"));
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        std::vector<DvrListRecord> plain;
        for (qsizetype at = 0; at + DvrListRecord::kSize <= bytes.size(); at += DvrListRecord::kSize)
            plain.push_back(DvrListRecord::Read(reinterpret_cast<const uint8_t *>(bytes.constData()) + at));
        const double records = Ms(t);
        std::printf("                        %7d   %8.1f   %10.1f   %5.1f   %8.2f%s\n", n, form, records,
                    form / records, form * 1000 / n, loaded == n ? "" : "  (count differs!)");
    }

    QByteArray ini = "[General]\n";
    for (int i = 0; ini.size() < 1000000; ++i)
        ini += "Filler" + QByteArray::number(i) + "=" + QByteArray::number(i * 1000003) + "\n";
    QFile f(SettingsFilePath());
    f.open(QIODevice::WriteOnly);
    f.write(ini);
    f.close();
    constexpr int kReads = 60;
    // The reference first: while the shared store is open, Qt would lend its parsed file.
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kReads; ++i)
        QSettings(SettingsFilePath(), QSettings::IniFormat).value(QString("Filler%1").arg(i));
    const double fresh = Ms(t);
    t.restart();
    for (int i = 0; i < kReads; ++i)
        RegReadInt(QString("Filler%1").arg(i), 0);
    const double shared = Ms(t);
    std::printf("settings, %d reads of a 1 MB file: shared store %.1f ms, new QSettings per read %.1f ms, ratio %.3f\n",
                kReads, shared, fresh, shared / fresh);
    return 0;
}
