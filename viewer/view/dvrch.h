#pragma once
// The pane of one camera channel inside a recorder view: the last picture of the channel,
// stretched, with its overlay texts or title bitmap, covert display, rubber-band zoom.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include <QImage>
#include <QWidget>

#include "graphics/rx32_types.h"
#include "platform/events.h"
#include "viewer/protocol/framerecord.h"
#include "viewer/protocol/dvrcommand.h"
#include "viewer/view/jpegrecord.h"
#include "viewer/view/planarpicture.h"

class QLabel;

namespace strandel {

class TBitmap32;
class TImage32;

constexpr int kZoomSpaceWidth = 1440;
constexpr int kZoomSpaceHeight = 960;

// One channel pane. It knows nothing of the view that holds it: a double click and the context
// menu are signals the view answers.
class TfrmDvrCh : public QWidget {
    Q_OBJECT
public:
    TfrmDvrCh(QWidget *parent, int channel);
    ~TfrmDvrCh() override;

    int Channel() const { return channel_; }

    // A JPEG record (header and stream), an MPEG picture in bitmap A (header only), or blank (neither).
    void ShowFrame(const FrameRecordHeader *header, DvrRecordStream *stream);
    void DrawBitmaps(const FrameRecordHeader &header, const QImage *first, const QImage *second);
    // A decoded MPEG picture, from the view's decoding thread: the pane takes it in exchange for
    // the one it held (picture gets that one back; a covert picture is not taken) and answers a
    // ticket. ShowDecoded, on the UI thread with that ticket, shows it, unless the pane was
    // blanked or shown a JPEG picture since.
    // The pane draws the picture from this form, converted and scaled at once to the size it is
    // drawn at; its full-size bitmap is made only when read (FullBitmap).
    uint32_t TakeDecoded(const FrameRecordHeader &header, PlanarPicture &picture);
    void ShowDecoded(const FrameRecordHeader &header, uint32_t ticket);
    // The full-size picture (what print, save and copy read): the bitmap of imgCh, made first
    // from the pane's decoded picture when that is what the pane shows.
    TBitmap32 &FullBitmap();
    void SetChannelText(const QString &text);
    void SetTimeText(const QString &text);
    void SetEventText(uint8_t bits);
    void UpdateOverlay();
    void DrawTitle(const uint8_t *bits, uint8_t mode);
    void Zoom();
    // The shown picture at the recorder's size in 16-bit pixels, or null when nothing is shown.
    QImage *CopyPicture(QImage *picture);
    void SetVideoStandard(uint8_t nibble) { ntsc_ = nibble; }
    void SetBitmaps(QImage *a, QImage *b);

    // Mouse handlers of the picture, in its coordinates.
    void imgCh___DblClick();
    void imgCh___MouseDown(Qt::MouseButton button, int x, int y);
    void imgCh___MouseMove(bool leftHeld, int x, int y);
    void imgCh___MouseUp(Qt::MouseButton button, int x, int y);
    void imgChResize();
    void pnlBackResize() { Zoom(); }

    bool IsShowing() const { return shown_; }
    // Called for every picture the pane shows, with its header (measurements watch the panes).
    std::function<void(const FrameRecordHeader &)> OnShown;
    const FrameRecordHeader &ShownHeader() const { return shownHeader_; }
    bool IsZoomed() const { return zoomed_ != 0; }
    QRect ZoomRect() const { return QRect(zoomX_, zoomY_, zoomW_, zoomH_); }
    uint8_t TitleMode() const { return titleMode_; }
    const QImage &TitleImage() const { return titleImage_; }

    QWidget *pnlBack;
    TImage32 *imgCh;
    QWidget *shpZoom;
    QLabel *lblTimeBack, *lblTimeFore;
    QLabel *lblEventBack, *lblEventFore;
    QLabel *lblChBack, *lblChFore;
    QLabel *imgTitle0;

signals:
    // The picture was double-clicked: the view shows this channel alone, or all again.
    void DoubleClicked(int channel);
    // The picture was right-clicked at this screen point.
    void PopupRequested(const QPoint &screenPos);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class PaneImage;
    // Draws the decoded picture into the paint buffer over the picture's rectangle there;
    // false when the pane shows no decoded picture (the bitmap is drawn then).
    bool PaintDecoded(TBitmap32 *buffer, const TRect &rect);
    // The pane shows a bitmap from now on (JPEG, covert, blank): the decoded picture is dropped.
    void LeaveDecoded();
    void ShowCovert(const FrameRecordHeader &header);
    void ApplyZoom();
    // 1, 2 or 4: the fraction of its size a whole JPEG picture decodes at for the size drawn now.
    int JpegReduction() const;
    void DrawReduced(const FrameRecordHeader &header, const QImage &picture, int reduction);
    void RedecodeKept(int reduction);
    void ShowJpeg(const FrameRecordHeader &header, DvrRecordStream &stream, int own);
    void SetBlack();

    int channel_;
    int32_t zoomX_ = 0, zoomY_ = 0, zoomW_ = 0, zoomH_ = 0;
    uint8_t zoomed_ = 0;
    QPoint zoomOrigin_;
    uint8_t ntsc_ = 0;
    int32_t videoHeight_ = 480;
    TimedEvent lock_;
    FrameRecordHeader shownHeader_{};
    bool shown_ = false;
    QImage ownA_, ownB_;
    QImage *bitmapA_ = &ownA_, *bitmapB_ = &ownB_;
    uint8_t titleMode_ = 0;
    std::array<uint8_t, kTitleBitmapSize> titleBits_{};
    // The decoded picture: swapped in by the decoding thread, read by paints, both under the mutex.
    std::mutex decodedMutex_;
    PlanarPicture decoded_;
    uint32_t leftDecoded_ = 0;   // counts the times the pane went over to a bitmap: a take's ticket
    bool showsDecoded_ = false;  // UI thread: the picture is drawn from decoded_
    bool bitmapStale_ = false;   // UI thread: imgCh's bitmap is a stand-in until FullBitmap makes it
    FrameRecordHeader decodedHeader_{};
    // A JPEG picture decoded at a fraction of its size (reduction above 1) keeps its record.
    int jpegReduction_ = 1;
    std::vector<uint8_t> jpegKept_;
    FrameRecordHeader jpegHeader_{};
    QImage titleImage_;
};

} // namespace strandel
