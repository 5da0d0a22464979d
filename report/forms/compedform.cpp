#include "report/forms/compedform.h"

#include <cmath>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "report/bands/pagorra.h"
#include "report/bands/pagorrabands.h"
#include "report/base/strings.h"
#include "report/forms/fontsizecombo.h"
#include "report/forms/pgxmessage.h"
#include "report/output/printer.h"

namespace strandel {

namespace {

QString Str(uint16_t id)
{
    return QString::fromStdString(report::PgxLoadStr(id));
}

QLocale NumberLocale()
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return l;
}

// "##0.00": at least one digit before the separator, always two after it.
QString FormatMeasure(double v)
{
    if (v == 0)
        v = 0; // no "-0.00"
    return NumberLocale().toString(v, 'f', 2);
}

bool ReadNumber(const QString &text, double &v)
{
    bool ok = false;
    v = NumberLocale().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(v);
}

// The row of the font list that shows font: its own family, or, when this machine lacks that
// family, the family it prints in here (listed bare or with its foundry). -1 when none is.
int FontRow(const QComboBox *list, const QFont &font)
{
    int row = list->findText(font.family(), Qt::MatchExactly);
    if (row >= 0)
        return row;
    const QString used = QFontInfo(font).family();
    row = list->findText(used, Qt::MatchExactly);
    if (row < 0 && !used.isEmpty())
        row = list->findText(used + QStringLiteral(" ["), Qt::MatchStartsWith);
    return row;
}

bool ReadInteger(const QString &text, int &v)
{
    bool ok = false;
    v = NumberLocale().toInt(text.trimmed(), &ok);
    return ok;
}

QChar DecimalSeparator()
{
    const QString d = QLocale().decimalPoint();
    return d.isEmpty() ? QChar('.') : d.at(0);
}

QToolButton *ArrowButton(Qt::ArrowType arrow, const char *name)
{
    auto *b = new QToolButton;
    b->setArrowType(arrow);
    b->setObjectName(QLatin1String(name));
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QLineEdit *Edit(const char *name, int chars = 8)
{
    auto *e = new QLineEdit;
    e->setObjectName(QLatin1String(name));
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('0')) * chars + 12);
    e->setContextMenuPolicy(Qt::NoContextMenu); // typed text only: every key is filtered
    return e;
}

QCheckBox *Check(const QString &caption, const char *name)
{
    auto *c = new QCheckBox(caption);
    c->setObjectName(QLatin1String(name));
    return c;
}

} // namespace

// ---- about box

TPgxAboutBox::TPgxAboutBox(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(Str(report::SpgxAboutPgx));
    auto *v = new QVBoxLayout(this);
    auto *name = new QLabel(QStringLiteral("Pagorra"));
    QFont f = name->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.6);
    name->setFont(f);
    v->addWidget(name);
    v->addWidget(new QLabel(Str(report::SpgxAboutInfo)));
    auto *ok = new QPushButton(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    v->addWidget(ok, 0, Qt::AlignRight);
    setFixedSize(sizeHint().expandedTo(QSize(260, 0)));
}

// ---- settings form

struct TPgxCompEd::Fields {
    int paper = -1;
    double width = 0, length = 0;
    double margins[5] = {};
    int columns = 1, fontSize = 10, penWidth = 0;
    bool hasLength[6] = {};
    double lengths[6] = {};
};

TPgxCompEd::TPgxCompEd(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Report Settings"));
    setObjectName(QStringLiteral("PgxCompEd"));
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 8);

    // Banner.
    auto *banner = new QLabel(QStringLiteral("Report Settings"));
    banner->setObjectName(QStringLiteral("Banner"));
    banner->setAutoFillBackground(true);
    QPalette bp = banner->palette();
    bp.setColor(QPalette::Window, QColor(0x00, 0x33, 0x80));
    bp.setColor(QPalette::WindowText, Qt::white);
    banner->setPalette(bp);
    QFont bf(QStringLiteral("Arial"));
    bf.setBold(true);
    bf.setPointSize(16);
    banner->setFont(bf);
    banner->setContentsMargins(12, 8, 12, 8);
    root->addWidget(banner);

    auto *body = new QGridLayout;
    body->setContentsMargins(8, 4, 8, 4);
    root->addLayout(body, 1);

    // Paper size.
    auto *paperGB = new QGroupBox(QStringLiteral("Paper size"));
    paperGB->setObjectName(QStringLiteral("PaperSizeGB"));
    auto *pg = new QGridLayout(paperGB);
    PaperSize = new QComboBox;
    PaperSize->setObjectName(QStringLiteral("PaperSize"));
    QStringList papers;
    for (int i = 0; i < PgxPaperSizeCount; ++i)
        papers << PgxPaperName(TPgxPaperSize(i));
    papers.sort();
    PaperSize->addItems(papers);
    PageWidth = Edit("PageWidth");
    PageLength = Edit("PageLength");
    OrientationCB = new QComboBox;
    OrientationCB->setObjectName(QStringLiteral("OrientationCB"));
    OrientationCB->addItems({QStringLiteral("Portrait"), QStringLiteral("Landscape")});
    pg->addWidget(PaperSize, 0, 0, 1, 2);
    pg->addWidget(new QLabel(QStringLiteral("Width")), 1, 0);
    pg->addWidget(PageWidth, 1, 1);
    pg->addWidget(new QLabel(QStringLiteral("Length")), 2, 0);
    pg->addWidget(PageLength, 2, 1);
    pg->addWidget(OrientationCB, 3, 0, 1, 2);
    body->addWidget(paperGB, 0, 0);

    // Margins and columns.
    auto *marginsGB = new QGroupBox(QStringLiteral("Margins"));
    marginsGB->setObjectName(QStringLiteral("MarginsGB"));
    auto *mg = new QGridLayout(marginsGB);
    Topmargin = Edit("Topmargin");
    BottomMargin = Edit("BottomMargin");
    LeftMargin = Edit("LeftMargin");
    RightMargin = Edit("RightMargin");
    ColumnMargin = Edit("ColumnMargin");
    mg->addWidget(new QLabel(QStringLiteral("Top")), 0, 0);
    mg->addWidget(Topmargin, 0, 1);
    mg->addWidget(new QLabel(QStringLiteral("Bottom")), 0, 2);
    mg->addWidget(BottomMargin, 0, 3);
    mg->addWidget(new QLabel(QStringLiteral("Left")), 1, 0);
    mg->addWidget(LeftMargin, 1, 1);
    mg->addWidget(new QLabel(QStringLiteral("Right")), 1, 2);
    mg->addWidget(RightMargin, 1, 3);
    mg->addWidget(new QLabel(QStringLiteral("Column space")), 2, 0, 1, 2);
    mg->addWidget(ColumnMargin, 2, 3);
    Columns = Edit("Columns", 3);
    Columns->setText(QStringLiteral("1"));
    SpeedButton1 = ArrowButton(Qt::UpArrow, "SpeedButton1");
    SpeedButton2 = ArrowButton(Qt::DownArrow, "SpeedButton2");
    auto *colRow = new QHBoxLayout;
    colRow->setSpacing(2);
    colRow->addWidget(Columns, 1);
    colRow->addWidget(SpeedButton1);
    colRow->addWidget(SpeedButton2);
    mg->addWidget(new QLabel(QStringLiteral("Number of columns")), 3, 0, 1, 2);
    mg->addLayout(colRow, 3, 2, 1, 2);
    body->addWidget(marginsGB, 0, 1);

    // Units and font.
    auto *otherGB = new QGroupBox(QStringLiteral("Other"));
    otherGB->setObjectName(QStringLiteral("OtherGB"));
    auto *og = new QGridLayout(otherGB);
    Units = new QComboBox;
    Units->setObjectName(QStringLiteral("Units"));
    Units->addItems({QStringLiteral("MM"), QStringLiteral("Inches"), QStringLiteral("Pixes"),
                     QStringLiteral("Characters"), QStringLiteral("Native")});
    FontName = new QComboBox;
    FontName->setObjectName(QStringLiteral("FontName"));
    QStringList fonts = GetFonts();
    fonts.sort();
    FontName->addItems(fonts);
    FontName->setMinimumContentsLength(12);
    FontName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    FontSize = new QComboBox;
    FontSize->setObjectName(QStringLiteral("FontSize"));
    FontSize->setEditable(true);
    FontSize->setInsertPolicy(QComboBox::NoInsert);
    FontSize->lineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
    og->addWidget(new QLabel(QStringLiteral("Units")), 0, 0);
    og->addWidget(Units, 0, 1);
    og->addWidget(new QLabel(QStringLiteral("Font")), 1, 0);
    og->addWidget(FontName, 1, 1);
    og->addWidget(new QLabel(QStringLiteral("Size")), 2, 0);
    og->addWidget(FontSize, 2, 1);
    body->addWidget(otherGB, 1, 0);

    // Page frame.
    auto *frameGB = new QGroupBox(QStringLiteral("Page frame"));
    frameGB->setObjectName(QStringLiteral("PageFrameGB"));
    auto *fg = new QGridLayout(frameGB);
    PageFrameTop = Check(QStringLiteral("Top"), "PageFrameTop");
    PageFrameBottom = Check(QStringLiteral("Bottom"), "PageFrameBottom");
    PageFrameLeft = Check(QStringLiteral("Left"), "PageFrameLeft");
    PageFrameRight = Check(QStringLiteral("Right"), "PageFrameRight");
    fg->addWidget(PageFrameTop, 0, 0);
    fg->addWidget(PageFrameBottom, 0, 1);
    fg->addWidget(PageFrameLeft, 1, 0);
    fg->addWidget(PageFrameRight, 1, 1);
    FrameColor = new QFrame;
    FrameColor->setObjectName(QStringLiteral("FrameColor"));
    FrameColor->setFrameShape(QFrame::Box);
    FrameColor->setAutoFillBackground(true);
    FrameColor->setFixedSize(28, 20);
    ColorButton = new QPushButton(QStringLiteral("Change"));
    ColorButton->setObjectName(QStringLiteral("ColorButton"));
    auto *colorRow = new QHBoxLayout;
    colorRow->addWidget(new QLabel(QStringLiteral("Color")));
    colorRow->addWidget(FrameColor);
    colorRow->addWidget(ColorButton);
    colorRow->addStretch();
    fg->addLayout(colorRow, 2, 0, 1, 2);
    PageFramePenWidth = Edit("PageFramePenWidth", 3);
    PageFramePenWidth->setText(QStringLiteral("0"));
    SpeedButton3 = ArrowButton(Qt::UpArrow, "SpeedButton3");
    SpeedButton4 = ArrowButton(Qt::DownArrow, "SpeedButton4");
    auto *penRow = new QHBoxLayout;
    penRow->setSpacing(2);
    penRow->addWidget(new QLabel(QStringLiteral("Frame width")));
    penRow->addWidget(PageFramePenWidth, 1);
    penRow->addWidget(SpeedButton3);
    penRow->addWidget(SpeedButton4);
    fg->addLayout(penRow, 3, 0, 1, 2);
    body->addWidget(frameGB, 1, 1);

    // Bands.
    auto *bandsGB = new QGroupBox(QStringLiteral("Bands"));
    bandsGB->setObjectName(QStringLiteral("BandsGB"));
    auto *bg = new QGridLayout(bandsGB);
    Title = Check(QStringLiteral("Title"), "Title");
    PageHeader = Check(QStringLiteral("Page header"), "PageHeader");
    ColumnHeader = Check(QStringLiteral("Column header"), "ColumnHeader");
    Detail = Check(QStringLiteral("Detail band"), "Detail");
    PageFooter = Check(QStringLiteral("Page footer"), "PageFooter");
    Summary = Check(QStringLiteral("Summary"), "Summary");
    TitleLength = Edit("TitleLength");
    PageHeaderLength = Edit("PageHeaderLength");
    ColumnHeaderLength = Edit("ColumnHeaderLength");
    DetailLength = Edit("DetailLength");
    PageFooterLength = Edit("PageFooterLength");
    SummaryLength = Edit("SummaryLength");
    const QList<QPair<QCheckBox *, QLineEdit *>> bandRows = {
        {Title, TitleLength}, {PageHeader, PageHeaderLength}, {ColumnHeader, ColumnHeaderLength},
        {Detail, DetailLength}, {PageFooter, PageFooterLength}, {Summary, SummaryLength}};
    for (int i = 0; i < bandRows.size(); ++i) {
        bg->addWidget(bandRows[i].first, i % 3, (i / 3) * 2);
        bg->addWidget(bandRows[i].second, i % 3, (i / 3) * 2 + 1);
    }
    FirstPageHeader = Check(QStringLiteral("Print first page header"), "FirstPageHeader");
    LastPageFooter = Check(QStringLiteral("Print last page footer"), "LastPageFooter");
    bg->addWidget(FirstPageHeader, 3, 0, 1, 2);
    bg->addWidget(LastPageFooter, 3, 2, 1, 2);
    body->addWidget(bandsGB, 2, 0, 1, 2);

    // Buttons.
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 0, 8, 0);
    About = new QPushButton(QStringLiteral("About &Pagorra"));
    Preview = new QPushButton(QStringLiteral("&Preview"));
    Apply1 = new QPushButton(QStringLiteral("&Apply"));
    OK1 = new QPushButton(QStringLiteral("OK"));
    Cancel1 = new QPushButton(QStringLiteral("Cancel"));
    About->setObjectName(QStringLiteral("About"));
    Preview->setObjectName(QStringLiteral("Preview"));
    Apply1->setObjectName(QStringLiteral("Apply1"));
    OK1->setObjectName(QStringLiteral("OK1"));
    Cancel1->setObjectName(QStringLiteral("Cancel1"));
    for (QPushButton *b : {About, Preview, Apply1, OK1, Cancel1}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->insertStretch(1);
    OK1->setDefault(true);
    root->addLayout(buttons);

    m_measures = {PageWidth, PageLength, Topmargin, BottomMargin, LeftMargin, RightMargin, ColumnMargin,
                  TitleLength, PageHeaderLength, ColumnHeaderLength, DetailLength, PageFooterLength, SummaryLength};
    m_integers = {Columns, PageFramePenWidth, FontSize->lineEdit()};
    for (QLineEdit *e : m_measures)
        e->installEventFilter(this);
    for (QObject *o : m_integers)
        o->installEventFilter(this);

    connect(OK1, &QPushButton::clicked, this, &TPgxCompEd::OK1Click);
    connect(Apply1, &QPushButton::clicked, this, &TPgxCompEd::Apply1Click);
    connect(Cancel1, &QPushButton::clicked, this, &TPgxCompEd::Cancel1Click);
    connect(Preview, &QPushButton::clicked, this, &TPgxCompEd::PreviewClick);
    connect(About, &QPushButton::clicked, this, &TPgxCompEd::AboutClick);
    connect(ColorButton, &QPushButton::clicked, this, &TPgxCompEd::ColorButtonClick);
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { ChangeValue(Columns, 1, 1); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { ChangeValue(Columns, -1, 1); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { ChangeValue(PageFramePenWidth, 1, 0); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { ChangeValue(PageFramePenWidth, -1, 0); });

    SetSwatchColor(Qt::black);
    setMinimumSize(459, 477);
    setFixedSize(sizeHint().expandedTo(QSize(459, 477)));
}

TPgxCompEd::~TPgxCompEd() = default;

void TPgxCompEd::SetSwatchColor(const QColor &c)
{
    m_swatch = c;
    QPalette p = FrameColor->palette();
    p.setColor(QPalette::Window, c);
    FrameColor->setPalette(p);
}

bool TPgxCompEd::IsMeasureField(const QObject *o) const
{
    for (const QLineEdit *e : m_measures)
        if (e == o)
            return true;
    return false;
}

bool TPgxCompEd::IsIntegerField(const QObject *o) const
{
    return m_integers.contains(const_cast<QObject *>(o));
}

void TPgxCompEd::SetPagorra(TCustomPagorra *report)
{
    m_report = report;
    if (m_report)
        GetValues();
}

void TPgxCompEd::GetValues()
{
    if (!m_report)
        return;
    TCustomPagorra &r = *m_report;
    TPgxPage &page = r.Page;
    PaperSize->setCurrentIndex(PaperSize->findText(PgxPaperName(page.GetPaperSize()), Qt::MatchExactly));
    PageWidth->setText(FormatMeasure(page.GetValue(TPgxPage::Width)));
    PageLength->setText(FormatMeasure(page.GetValue(TPgxPage::Length)));
    OrientationCB->setCurrentIndex(page.Orientation() == TPgxOrientation::Portrait ? 0 : 1);
    Topmargin->setText(FormatMeasure(page.GetValue(TPgxPage::TopMargin)));
    BottomMargin->setText(FormatMeasure(page.GetValue(TPgxPage::BottomMargin)));
    LeftMargin->setText(FormatMeasure(page.GetValue(TPgxPage::LeftMargin)));
    RightMargin->setText(FormatMeasure(page.GetValue(TPgxPage::RightMargin)));
    ColumnMargin->setText(FormatMeasure(page.GetValue(TPgxPage::ColumnSpace)));
    Columns->setText(QString::number(page.Columns()));
    FontName->setCurrentIndex(FontRow(FontName, r.Font));
    PopulateFontSizeCombo(FontSize);
    FontSize->setEditText(QString::number(qRound(r.Font.pointSizeF())));
    PageFrameTop->setChecked(r.Frame().DrawTop());
    PageFrameBottom->setChecked(r.Frame().DrawBottom());
    PageFrameLeft->setChecked(r.Frame().DrawLeft());
    PageFrameRight->setChecked(r.Frame().DrawRight());
    SetSwatchColor(QColor::fromRgb(r.Frame().Color()));
    Units->setCurrentIndex(int(r.Units()));
    TPagorraBands bands(&r);
    const QList<QPair<int, QPair<QCheckBox *, QLineEdit *>>> rows = {
        {TPagorraBands::PageHeader, {PageHeader, PageHeaderLength}}, {TPagorraBands::Title, {Title, TitleLength}},
        {TPagorraBands::ColumnHeader, {ColumnHeader, ColumnHeaderLength}}, {TPagorraBands::Detail, {Detail, DetailLength}},
        {TPagorraBands::Summary, {Summary, SummaryLength}}, {TPagorraBands::PageFooter, {PageFooter, PageFooterLength}}};
    for (const auto &row : rows) {
        TPgxCustomBand *band = bands.GetBand(row.first);
        row.second.first->setChecked(band != nullptr);
        if (band) // a missing band's field keeps its text
            row.second.second->setText(FormatMeasure(band->Size.GetValue(0))); // in the report's unit
    }
    PageFramePenWidth->setText(QString::number(r.Frame().Width()));
    FirstPageHeader->setChecked(r.Options & strandel::FirstPageHeader);
    LastPageFooter->setChecked(r.Options & strandel::LastPageFooter);
    m_entryText.clear();
}

bool TPgxCompEd::ReadFields(Fields &f, QString &error) const
{
    auto bad = [&error](const QString &caption, const QString &text) {
        error = Str(report::SpgxConversionError) + QStringLiteral(": ") + caption + QStringLiteral(" '") + text +
                QLatin1Char('\'');
        return false;
    };
    auto measure = [&](QLineEdit *e, const QString &caption, double &v) {
        if (!ReadNumber(e->text(), v) || v < 0)
            return bad(caption, e->text());
        return true;
    };
    f.paper = -1;
    for (int i = 0; i < PgxPaperSizeCount; ++i)
        if (PgxPaperName(TPgxPaperSize(i)) == PaperSize->currentText()) {
            f.paper = i;
            break;
        }
    const TPgxPaperSize paper = f.paper >= 0 ? TPgxPaperSize(f.paper) : m_report->Page.GetPaperSize();
    if (paper == TPgxPaperSize::Custom) {
        if (!measure(PageWidth, QStringLiteral("Width"), f.width) ||
            !measure(PageLength, QStringLiteral("Length"), f.length))
            return false;
    }
    const QLineEdit *margins[5] = {Topmargin, BottomMargin, LeftMargin, RightMargin, ColumnMargin};
    const char *marginNames[5] = {"Top", "Bottom", "Left", "Right", "Column space"};
    for (int i = 0; i < 5; ++i)
        if (!measure(const_cast<QLineEdit *>(margins[i]), QLatin1String(marginNames[i]), f.margins[i]))
            return false;
    if (!ReadInteger(Columns->text(), f.columns) || f.columns < 1)
        return bad(QStringLiteral("Number of columns"), Columns->text());
    if (!ReadInteger(FontSize->currentText(), f.fontSize) || f.fontSize < 1)
        return bad(QStringLiteral("Size"), FontSize->currentText());
    if (!ReadInteger(PageFramePenWidth->text(), f.penWidth) || f.penWidth < 0)
        return bad(QStringLiteral("Frame width"), PageFramePenWidth->text());
    const QCheckBox *checks[6] = {PageHeader, Title, ColumnHeader, Detail, Summary, PageFooter};
    QLineEdit *lengths[6] = {PageHeaderLength, TitleLength, ColumnHeaderLength, DetailLength, SummaryLength,
                             PageFooterLength};
    for (int i = 0; i < 6; ++i) {
        f.hasLength[i] = checks[i]->isChecked() && !lengths[i]->text().isEmpty();
        if (f.hasLength[i] && !measure(lengths[i], checks[i]->text(), f.lengths[i]))
            return false;
    }
    return true;
}

bool TPgxCompEd::SetValues()
{
    if (!m_report)
        return false;
    Fields f;
    QString error;
    if (!ReadFields(f, error)) {
        PgxDialogMessage(this, error);
        return false;
    }
    TCustomPagorra &r = *m_report;
    TPgxPage &page = r.Page;
    if (f.paper >= 0)
        page.SetPaperSize(TPgxPaperSize(f.paper));
    if (page.GetPaperSize() == TPgxPaperSize::Custom) {
        page.SetValue(TPgxPage::Width, f.width);
        page.SetValue(TPgxPage::Length, f.length);
    }
    page.SetOrientation(OrientationCB->currentIndex() == 0 ? TPgxOrientation::Portrait : TPgxOrientation::Landscape);
    page.SetValue(TPgxPage::TopMargin, f.margins[0]);
    page.SetValue(TPgxPage::BottomMargin, f.margins[1]);
    page.SetValue(TPgxPage::LeftMargin, f.margins[2]);
    page.SetValue(TPgxPage::RightMargin, f.margins[3]);
    page.SetValue(TPgxPage::ColumnSpace, f.margins[4]);
    page.SetColumns(f.columns);
    // The row that stands for the report's font keeps its name, also one this machine lacks.
    if (!FontName->currentText().isEmpty() && FontName->currentIndex() != FontRow(FontName, r.Font))
        r.Font.setFamily(FontName->currentText());
    r.Font.setPointSize(f.fontSize);
    r.Frame().SetValue(2, PageFrameLeft->isChecked());
    r.Frame().SetValue(3, PageFrameRight->isChecked());
    r.Frame().SetValue(0, PageFrameTop->isChecked());
    r.Frame().SetValue(1, PageFrameBottom->isChecked());
    r.Frame().SetColor(m_swatch.rgb());
    r.Frame().SetWidth(f.penWidth);
    TPagorraBands bands(&r);
    const int indices[6] = {TPagorraBands::PageHeader, TPagorraBands::Title, TPagorraBands::ColumnHeader,
                            TPagorraBands::Detail, TPagorraBands::Summary, TPagorraBands::PageFooter};
    const QCheckBox *checks[6] = {PageHeader, Title, ColumnHeader, Detail, Summary, PageFooter};
    for (int i = 0; i < 6; ++i) {
        bands.SetHasBand(indices[i], checks[i]->isChecked());
        // The field and the band are both in the report's unit (the one before this apply).
        if (TPgxCustomBand *band = bands.GetBand(indices[i]); band && f.hasLength[i])
            band->Size.SetValue(0, f.lengths[i]);
    }
    if (Units->currentIndex() >= 0)
        r.SetUnits(TPgxUnit(Units->currentIndex()));
    // Only the two options the form shows; the others (compression) stay as they are.
    uint8_t options = r.Options & uint8_t(~(strandel::FirstPageHeader | strandel::LastPageFooter));
    if (FirstPageHeader->isChecked())
        options |= strandel::FirstPageHeader;
    if (LastPageFooter->isChecked())
        options |= strandel::LastPageFooter;
    r.Options = options;
    return true;
}

void TPgxCompEd::PageWidthEnter(QLineEdit *field)
{
    m_entryText[field] = field->text();
}

void TPgxCompEd::PageWidthExit(QLineEdit *field)
{
    if (m_inExit || field->text().isEmpty())
        return;
    m_inExit = true;
    double v = 0;
    const QString typed = field->text();
    if (!ReadNumber(typed, v)) {
        // Unreadable (two separators): the field gets back what it had, and says why.
        field->setText(m_entryText.value(field));
        PgxDialogMessage(this, Str(report::SpgxConversionError) + QStringLiteral(": '") + typed + QLatin1Char('\''));
    } else if (v > 1000) {
        field->setText(m_entryText.value(field));
        PgxDialogMessage(this, Str(report::SpgxValueTooBig));
    } else {
        field->setText(FormatMeasure(v));
    }
    m_inExit = false;
}

void TPgxCompEd::ChangeValue(QLineEdit *field, int step, int min)
{
    int v = 0;
    if (!ReadInteger(field->text(), v))
        return;
    const int64_t n = int64_t(v) + step;
    if (n >= min && n <= INT32_MAX)
        field->setText(QString::number(n));
}

bool TPgxCompEd::FloatKeyPress(QObject *field, const QString &text)
{
    if (text.isEmpty())
        return true; // arrows, Home, Delete: no character
    const QChar c = text.at(0);
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
        // Enter leaves a measure field's value formatted; an integer field stays as typed.
        if (auto *e = qobject_cast<QLineEdit *>(field); e && IsMeasureField(e))
            PageWidthExit(e);
        return false;
    }
    // Keys that type nothing (Esc, Delete, Tab) are not the filter's business.
    if (c != QLatin1Char('\b') && (c.unicode() < 0x20 || c.unicode() == 0x7f))
        return true;
    if (c == QLatin1Char('\b') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == DecimalSeparator())
        return text.size() == 1;
    return false;
}

bool TPgxCompEd::eventFilter(QObject *watched, QEvent *event)
{
    const bool measure = IsMeasureField(watched);
    if (!measure && !IsIntegerField(watched))
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *k = static_cast<QKeyEvent *>(event);
        if (k->matches(QKeySequence::Paste))
            return true;
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)
            return !FloatKeyPress(watched, QStringLiteral("\r"));
        // Ctrl shortcuts other than paste (copy, select all, undo) type nothing.
        if (k->modifiers() & Qt::ControlModifier)
            return false;
        if (k->key() == Qt::Key_Backspace)
            return false;
        return !FloatKeyPress(watched, k->text());
    }
    case QEvent::FocusIn:
        if (measure)
            PageWidthEnter(static_cast<QLineEdit *>(watched));
        break;
    case QEvent::FocusOut:
        if (measure)
            PageWidthExit(static_cast<QLineEdit *>(watched));
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TPgxCompEd::OK1Click()
{
    if (SetValues())
        done(PgxMrOk);
}

void TPgxCompEd::Apply1Click()
{
    if (SetValues())
        GetValues();
}

void TPgxCompEd::Cancel1Click()
{
    done(PgxMrCancel);
}

void TPgxCompEd::reject()
{
    done(PgxMrCancel);
}

void TPgxCompEd::PreviewClick()
{
    if (m_report)
        m_report->Preview();
}

void TPgxCompEd::AboutClick()
{
    hide();
    {
        TPgxAboutBox box(this);
        box.exec();
    }
    show();
}

void TPgxCompEd::ColorButtonClick()
{
    QColorDialog dialog(m_swatch, this);
    if (dialog.exec() == QDialog::Accepted)
        SetSwatchColor(dialog.selectedColor());
}

} // namespace strandel
