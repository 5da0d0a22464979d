#pragma once
// A flat speed button that paints one cell of a glyph strip instead of a face:
// cell 0 normal, 1 disabled, 2 down or pressed, 3 hot (only with four cells).
#include <QAbstractButton>
#include <QImage>

namespace strandel {

class TMyButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TMyButton(QWidget *owner = nullptr);

    void SetGlyph(const QImage &strip) { glyph_ = strip; update(); }
    const QImage &Glyph() const { return glyph_; }
    void SetNumGlyphs(int n) { numGlyphs_ = n; update(); }
    int NumGlyphs() const { return numGlyphs_; }

    // Speed-button state: a button with a group index stays down when clicked; within a parent,
    // buttons of the same group index are exclusive. AllowAllUp lets a down button be clicked up.
    void SetGroupIndex(int g) { groupIndex_ = g; }
    int GroupIndex() const { return groupIndex_; }
    void SetAllowAllUp(bool v) { allowAllUp_ = v; }
    bool AllowAllUp() const { return allowAllUp_; }
    void SetDown(bool down);
    bool Down() const { return down_; }

    // The cell a paint would copy now, in button widths.
    int GlyphCell() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void nextCheckState() override;

private:
    QImage glyph_;
    int numGlyphs_ = 1;
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    bool down_ = false;
    bool hot_ = false;
};

} // namespace strandel
