// The title page of the set-up editor: text titles kept printable, the 16 title bitmaps with
// the enlarged grid, previews, rendering from text and the upload.
#include "viewer/admin/dvrenv.h"

#include "viewer/admin/motion.h"
#include "viewer/admin/shells.h"
#include "viewer/protocol/titlebitmap.h"

#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QTabWidget>

#include <algorithm>
#include <cstring>

namespace strandel {

namespace {

constexpr int kCell = 6;

// The enlarged editor: a 6 x 6 cell per pixel on a grid.
class TitleGrid : public QWidget {
public:
    TitleGrid(TfrmDvrEnv *form, QWidget *parent) : QWidget(parent), form_(form)
    {
        setObjectName("imgTitle");
        setFixedSize(kTitleWidth * kCell + 1, kTitleHeight * kCell + 1);
    }
    int Tag() const { return drawing_; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        const std::vector<uint8_t> &t = form_->TitleBitmaps();
        if (t.size() == size_t(kTitleBitmapsSize)) {
            const std::span<const uint8_t, 144> bits(t.data() + kTitleBitmapSize * form_->TitleChannel(), 144);
            for (int y = 0; y < kTitleHeight; ++y)
                for (int x = 0; x < kTitleWidth; ++x)
                    if (TitlePixel(bits, x, y))
                        p.fillRect(kCell * x + 1, kCell * y + 1, kCell - 1, kCell - 1, Qt::black);
        }
        p.setPen(QColor(128, 128, 128));
        for (int i = 0; i <= kTitleWidth; ++i)
            p.drawLine(kCell * i, 0, kCell * i, kTitleHeight * kCell);
        for (int i = 0; i <= kTitleHeight; ++i)
            p.drawLine(0, kCell * i, kTitleWidth * kCell, kCell * i);
    }
    void mousePressEvent(QMouseEvent *) override { drawing_ = 1; }
    void mouseMoveEvent(QMouseEvent *e) override
    {
        if (drawing_ && (e->buttons() & (Qt::LeftButton | Qt::RightButton)))
            form_->PaintTitleAt(e->position().toPoint().x(), e->position().toPoint().y(), e->buttons() & Qt::LeftButton);
    }
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        if (!drawing_)
            return;
        form_->PaintTitleAt(e->position().toPoint().x(), e->position().toPoint().y(), e->button() == Qt::LeftButton);
        drawing_ = 0;
    }

private:
    TfrmDvrEnv *form_;
    int drawing_ = 0;
};

} // namespace

void TfrmDvrEnv::btnMotionArea0Click(int ch)
{
    if (ch < 0 || ch > 15)
        return;
    TfrmMotion motion(this);
    motion.setWindowTitle(QString("Motion Area Setup : Ch %1").arg(ch + 1));
    uint8_t *mask = record_.data() + kEnvMotionOffset + 1 + kEnvMotionStride * ch;
    motion.LoadMask(mask);
    const int result = runMotion ? runMotion(motion) : motion.exec();
    if (result == 1)
        motion.SaveMask(mask);
}

void TfrmDvrEnv::BuildTitlePage()
{
    // The motion-area buttons, one per channel.
    if (auto *scroll = findChild<QScrollArea *>("TabMotion"))
        if (auto *grid = scroll->widget() ? qobject_cast<QGridLayout *>(scroll->widget()->layout()) : nullptr) {
            auto *box = new QWidget;
            auto *l = new QGridLayout(box);
            for (int ch = 0; ch < 16; ++ch) {
                auto *b = new QPushButton(QString("AREA %1").arg(ch + 1));
                b->setObjectName(QString("btnMotionArea%1").arg(ch));
                b->setProperty("Tag", ch);
                b->setAutoDefault(false);
                l->addWidget(b, ch / 4, ch % 4);
                controls_[b->objectName()] = b;
                connect(b, &QPushButton::clicked, this, [this, ch] { btnMotionArea0Click(ch); });
            }
            grid->addWidget(box, 80, 0, 1, 6);
        }

    auto *scroll = findChild<QScrollArea *>("TabTitle");
    auto *grid = scroll && scroll->widget() ? qobject_cast<QGridLayout *>(scroll->widget()->layout()) : nullptr;
    if (!grid)
        return;
    auto *box = new QWidget;
    auto *l = new QGridLayout(box);
    auto *channel = new QLabel("Channel 1");
    channel->setObjectName("lblBmpCh");
    l->addWidget(channel, 0, 0);
    l->addWidget(new TitleGrid(this, box), 1, 0);
    // The 1:1 previews, four channels to a row beside the enlarged grid.
    auto *previews = new QGridLayout;
    for (int ch = 0; ch < 16; ++ch) {
        auto *img = new QLabel;
        img->setObjectName(QString("ImgTitle%1").arg(ch));
        img->setFixedSize(kTitleWidth, kTitleHeight);
        QPixmap blank(kTitleWidth, kTitleHeight); // white until the recorder's bitmaps arrive
        blank.fill(Qt::white);
        img->setPixmap(blank);
        previews->addWidget(new QLabel(QString("CH%1").arg(ch + 1)), ch / 4, (ch % 4) * 2);
        previews->addWidget(img, ch / 4, (ch % 4) * 2 + 1);
    }
    l->addLayout(previews, 1, 1, Qt::AlignTop);
    auto *row = new QHBoxLayout;
    auto *temp = new QLineEdit;
    temp->setObjectName("edtTemp");
    temp->setMaxLength(10);
    temp->setFont(chFont_);
    temp->setFixedWidth(160);
    controls_["edtTemp"] = temp;
    row->addWidget(temp);
    struct Button {
        const char *name, *caption;
        std::function<void()> click;
    } const buttons[] = {
        {"btnGet", "Make Bitmap", [this] { btnGetClick(); }},
        {"btnDown", "Download", [this] { btnDownClick(); }},
        {"SpeedButton2", "Clear", [this] { SpeedButton2Click(); }},
        {"SpeedButton3", "<", [this] { RotateTitleClick(-1, 0); }},
        {"SpeedButton4", ">", [this] { RotateTitleClick(1, 0); }},
        {"SpeedButton5", "^", [this] { RotateTitleClick(0, -1); }},
        {"SpeedButton6", "v", [this] { RotateTitleClick(0, 1); }},
        {"SpeedButton7", "Font", [this] { SpeedButton7Click(); }},
    };
    for (const Button &b : buttons) {
        auto *button = new QPushButton(b.caption);
        button->setObjectName(b.name);
        button->setAutoDefault(false);
        // The four arrows are one character wide.
        if (std::strlen(b.caption) == 1)
            button->setFixedWidth(32);
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, b.click);
    }
    row->addStretch(1);
    l->addLayout(row, 2, 0, 1, 2);
    l->setColumnStretch(2, 1);
    grid->addWidget(box, 80, 0, 1, 6);

    // Text titles stay printable; a focus on one picks its bitmap.
    for (int ch = 0; ch < 16; ++ch)
        if (auto *e = qobject_cast<QLineEdit *>(Control(QString("edtTitleCh%1").arg(ch)))) {
            e->setProperty("Tag", ch);
            e->installEventFilter(this);
            // Typing or pasting a character outside 0x20-0x7E leaves the text as it was; a title
            // loaded from a record is shown as it came.
            e->setValidator(new QRegularExpressionValidator(QRegularExpression("[\\x20-\\x7E]{0,8}"), e));
        }
}

uint8_t *TfrmDvrEnv::TitleBits(int ch)
{
    if (titles_.size() != size_t(kTitleBitmapsSize))
        titles_.assign(size_t(kTitleBitmapsSize), 0);
    return titles_.data() + kTitleBitmapSize * std::clamp(ch, 0, 15);
}

void TfrmDvrEnv::RefreshTitle(int ch)
{
    if (auto *img = findChild<QLabel *>(QString("ImgTitle%1").arg(ch))) {
        QImage pic(kTitleWidth, kTitleHeight, QImage::Format_RGB32);
        const std::span<const uint8_t, 144> bits(TitleBits(ch), 144);
        for (int y = 0; y < kTitleHeight; ++y)
            for (int x = 0; x < kTitleWidth; ++x)
                pic.setPixel(x, y, TitlePixel(bits, x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        img->setPixmap(QPixmap::fromImage(pic));
    }
    if (ch == titleChannel_)
        if (auto *g = findChild<QWidget *>("imgTitle"))
            g->update();
}

void TfrmDvrEnv::edtTitleCh0Click(int ch)
{
    if (ch < 0 || ch > 15)
        return;
    titleChannel_ = ch;
    if (auto *l = findChild<QLabel *>("lblBmpCh"))
        l->setText(QString("Channel %1").arg(ch + 1));
    RefreshTitle(ch);
}

void TfrmDvrEnv::PaintTitleAt(int px, int py, bool black)
{
    // Division truncates towards zero: -1 .. -5 would land on cell 0 without this check.
    if (px < 0 || py < 0 || px >= kTitleWidth * kCell || py >= kTitleHeight * kCell)
        return;
    SetTitlePixel(std::span<uint8_t, 144>(TitleBits(titleChannel_), 144), px / kCell, py / kCell, black);
    RefreshTitle(titleChannel_);
}

void TfrmDvrEnv::SpeedButton2Click()
{
    ClearTitle(std::span<uint8_t, 144>(TitleBits(titleChannel_), 144));
    RefreshTitle(titleChannel_);
}

void TfrmDvrEnv::RotateTitleClick(int dx, int dy)
{
    RotateTitle(std::span<uint8_t, 144>(TitleBits(titleChannel_), 144), dx, dy);
    RefreshTitle(titleChannel_);
}

QImage TfrmDvrEnv::RenderTitleText(const QString &text, const QFont &font)
{
    QImage pic(kTitleWidth, kTitleHeight, QImage::Format_RGB32);
    pic.fill(Qt::white);
    QFont f = font;
    f.setStyleStrategy(QFont::NoAntialias);
    QPainter p(&pic);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(f);
    // The glyphs are drawn black whatever colour the title font carries: only black pixels count.
    p.setPen(Qt::black);
    p.drawText(QRect(1, 0, kTitleWidth - 1, kTitleHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
    return pic;
}

void TfrmDvrEnv::btnGetClick()
{
    auto *temp = qobject_cast<QLineEdit *>(Control("edtTemp"));
    if (!temp || temp->text().isEmpty())
        return;
    const QImage pic = RenderTitleText(temp->text(), temp->font());
    const std::span<uint8_t, 144> bits(TitleBits(titleChannel_), 144);
    for (int y = 0; y < kTitleHeight; ++y)
        for (int x = 0; x < kTitleWidth; ++x)
            SetTitlePixel(bits, x, y, (pic.pixel(x, y) & 0xFFFFFF) == 0);
    RefreshTitle(titleChannel_);
}

void TfrmDvrEnv::btnDownClick()
{
    if (!dvr_)
        return;
    // Before the recorder's own titles are here the editor holds blanks: sending them would
    // wipe every channel's title.
    if (!titlesArrived_) {
        if (showMessage)
            showMessage("The titles have not arrived from the DVR yet.");
        return;
    }
    TitleBits(0);
    // A part that did not go stops the block before its end mark, so the recorder keeps its titles.
    if (!dvr_->SendCommandEx(DvrCmdTitleSet, DvrFlagBlockBegin, nullptr, 0))
        return;
    for (int at = 0; at < kTitleBitmapsSize; at += 1000)
        if (!dvr_->SendCommandEx(DvrCmdTitleSet, DvrFlagNone, titles_.data() + at, std::min(1000, kTitleBitmapsSize - at)))
            return;
    dvr_->SendCommandEx(DvrCmdTitleSet, DvrFlagBlockEnd, nullptr, 0);
}

void TfrmDvrEnv::SpeedButton7Click()
{
    auto *temp = qobject_cast<QLineEdit *>(Control("edtTemp"));
    if (!temp)
        return;
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, temp->font(), this);
    if (!ok)
        return;
    temp->setFont(f);
    chFont_ = f;
    WriteFontSettings("ChFont", f, chFontColor_);
}

} // namespace strandel
