#pragma once
// The settings dialog of one report: paper, margins, columns, units, font, page frame, the
// standard bands and their heights. It keeps nothing of its own: OK and Apply write the fields
// into the report, Cancel leaves the report as it was last applied.
#include <memory>

#include <QColor>
#include <QDialog>
#include <QHash>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace strandel {

class TPagorra;
class TCustomPagorra;

// The library's about box: a fixed note with an OK button.
class TPgxAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TPgxAboutBox(QWidget *parent = nullptr);
};

class TPgxCompEd : public QDialog
{
    Q_OBJECT
public:
    explicit TPgxCompEd(QWidget *parent = nullptr);
    ~TPgxCompEd() override;

    void SetPagorra(TCustomPagorra *report);
    TCustomPagorra *Pagorra() const { return m_report; }
    // The form keeps the list; nothing in it reads the list yet.
    void SetAvailableDataSets(const QStringList &names) { m_dataSets = names; }
    const QStringList &AvailableDataSets() const { return m_dataSets; }

    void GetValues();
    // Reads and checks every field first; on a field it cannot read it says which and writes
    // nothing (false).
    bool SetValues();

    // Focus entry and exit of a measure field; Enter runs the exit too.
    void PageWidthEnter(QLineEdit *field);
    void PageWidthExit(QLineEdit *field);
    // Adds step to an integer field, never going below min.
    void ChangeValue(QLineEdit *field, int step, int min);

    // Controls, as the report's users know them.
    QComboBox *PaperSize, *OrientationCB, *Units, *FontName, *FontSize;
    QLineEdit *PageWidth, *PageLength, *Topmargin, *BottomMargin, *LeftMargin, *RightMargin, *ColumnMargin;
    QLineEdit *Columns, *PageFramePenWidth;
    QToolButton *SpeedButton1, *SpeedButton2, *SpeedButton3, *SpeedButton4;
    QCheckBox *PageFrameTop, *PageFrameBottom, *PageFrameLeft, *PageFrameRight;
    QFrame *FrameColor;
    QPushButton *ColorButton;
    QCheckBox *Title, *PageHeader, *ColumnHeader, *Detail, *PageFooter, *Summary;
    QLineEdit *TitleLength, *PageHeaderLength, *ColumnHeaderLength, *DetailLength, *PageFooterLength, *SummaryLength;
    QCheckBox *FirstPageHeader, *LastPageFooter;
    QPushButton *About, *Preview, *Apply1, *OK1, *Cancel1;

    QColor SwatchColor() const { return m_swatch; }
    void SetSwatchColor(const QColor &c);

    bool IsMeasureField(const QObject *o) const;
    bool IsIntegerField(const QObject *o) const;

public slots:
    void OK1Click();
    void Apply1Click();
    void Cancel1Click();
    void PreviewClick();
    void AboutClick();
    void ColorButtonClick();
    void reject() override; // the close button and Esc answer Cancel

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Fields;
    bool ReadFields(Fields &f, QString &error) const;
    // Answers whether the key may reach the field.
    bool FloatKeyPress(QObject *field, const QString &text);

    TCustomPagorra *m_report = nullptr;
    QStringList m_dataSets;
    QColor m_swatch = Qt::black;
    QHash<const QLineEdit *, QString> m_entryText;
    QList<QLineEdit *> m_measures;
    QList<QObject *> m_integers;
    bool m_inExit = false;
};

} // namespace strandel
