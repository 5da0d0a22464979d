// libFuzzer target: any bytes as a page metafile. A page that loads replays onto a small image
// at two scales, and its saved form is the bytes it was loaded from.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "report/pages/metafile.h"

// The font engine's glyph caches hold memory across inputs in ways the leak checker takes for
// leaks; the metafile code itself owns everything through containers.
extern "C" int __lsan_is_turned_off() { return 1; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "metafile_replay_fuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    strandel::TPgxMetafile mf;
    QString error;
    if (!mf.Load(data, size, &error)) {
        if (error.isEmpty())
            abort();
        return 0;
    }
    std::vector<uint8_t> saved = mf.Save();
    if (saved.size() > size || !std::equal(saved.begin(), saved.end(), data))
        abort();
    QImage img(48, 64, QImage::Format_ARGB32);
    img.fill(0);
    {
        QPainter p(&img);
        mf.Replay(p, QRectF(0, 0, 48, 64));
        mf.Replay(p, QRectF(10, 10, 3, 2));
    }
    mf.ContainsText(QStringLiteral("a"), false);
    return 0;
}
