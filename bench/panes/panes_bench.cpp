// 16 panes of a 1920 x 1080 view, each receiving a 704 x 480 JPEG picture 25 times a second:
// decode, copy into the pane's bitmap, stretch and paint. Prints the share of one core needed,
// next to libjpeg-turbo decoding the same pictures alone.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "graphics/widgets/rx32_image.h"
#include "platform/jpeg.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

namespace {

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A camera-like picture: smooth shading with some sensor noise.
std::vector<uint8_t> CameraPicture(int w, int h, int quality)
{
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int n = int(rng() % 9) - 4;
            auto c = [n](int v) { return uint32_t(std::clamp(v + n, 0, 255)); };
            px[size_t(y) * size_t(w) + size_t(x)] =
                0xFF000000u | c(x * 255 / w) << 16 | c(y * 255 / h) << 8 | c(((x / 40 + y / 40) % 2) ? 200 : 60);
        }
    std::vector<uint8_t> out;
    JpegEncode(px.data(), w, h, w, quality, out);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kPanes = 16, kFps = 25, kSeconds = 4;

    const std::vector<uint8_t> jpeg = CameraPicture(704, 480, 75);
    DvrRecordStream record;
    record.data.assign(kJpegRecordPrefix, 0);
    record.data.insert(record.data.end(), jpeg.begin(), jpeg.end());
    FrameRecordHeader header;
    header.sizeCode = 0;
    header.partSize[0] = uint32_t(record.data.size());
    header.jpegLength = header.partSize[0];

    TfrmDvrWin view;
    view.resize(1920, 1080 + 20);
    view.show();
    app.processEvents();
    view.SetVideoFormat(kPanes, 0);
    app.processEvents();

    // Reference: libjpeg-turbo alone, into one reused buffer.
    std::vector<uint32_t> target(704 * 480);
    const JpegTarget into = [&](int w, int h, size_t *stride) {
        *stride = size_t(w);
        return size_t(w) * size_t(h) <= target.size() ? target.data() : nullptr;
    };
    const int pictures = kPanes * kFps * kSeconds;
    double t0 = CpuSeconds();
    for (int i = 0; i < pictures; ++i)
        JpegDecodeInto(jpeg.data(), jpeg.size(), into);
    const double decodeOnly = CpuSeconds() - t0;

    // The pane path: each record arrives in a buffer of its own, the view repaints once per round.
    t0 = CpuSeconds();
    for (int round = 0; round < kFps * kSeconds; ++round) {
        for (int p = 0; p < kPanes; ++p) {
            DvrRecordStream copy = record;
            header.channel = uint8_t(p + 1);
            view.Pane(p)->ShowFrame(&header, &copy);
        }
        view.repaint();
    }
    const double panePath = CpuSeconds() - t0;

    const QSize paneSize = view.Pane(0)->size();
    std::printf("picture 704 x 480, %zu bytes of JPEG; pane %d x %d; %d pictures (%d panes x %d fps x %d s)\n",
                jpeg.size(), paneSize.width(), paneSize.height(), pictures, kPanes, kFps, kSeconds);
    std::printf("libjpeg-turbo decode alone: %.3f ms per picture, %.1f%% of one core\n",
                decodeOnly * 1000 / pictures, 100.0 * decodeOnly / kSeconds);
    std::printf("pane path (decode, copy, stretch, paint): %.3f ms per picture, %.1f%% of one core\n",
                panePath * 1000 / pictures, 100.0 * panePath / kSeconds);
    return 0;
}
