#include "viewer/admin/dvrenv.h"

#include "viewer/admin/shells.h"
#include "platform/settings.h"
#include "viewer/controls/dtedit.h"
#include "viewer/controls/ipedit.h"
#include "viewer/controls/myitemedit.h"
#include "viewer/controls/myvalueedit.h"
#include "viewer/controls/placement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace strandel {

TfrmDvrEnv *frmDvrEnv = nullptr;

namespace {

using E = EnvEncoding;

// The pages the fields go to: a field starts a new page when its name is listed here; the
// fields after it follow it to that page.
struct PageStart {
    const char *firstField;
    const char *page;
};
const PageStart kPageStarts[] = {
    {"edtQuickSetup", "TabSheet6"},          {"edtHorPos", "TabPosition"},
    {"edtAutoSingleCh", "TabSequence"},      {"edtClockDisp", "TabDisplay"},
    {"edtTitleCh", "TabTitle"},              {"chkLive4ADisplay", "TabMultiScreen"},
    {"edtCovertCh", "TabCovert"},            {"edtSpotMode", "TabSpot"},
    {"edtPtzModel", "TabPtz"},               {"edtAll", "TabSche"},
    {"edtRepeatRecord", "TabRecOption"},     {"edtHolidayRecord", "TabHoliday"},
    {"edtEventCheck", "TabEvent"},           {"edtMotionCh", "TabMotion"},
    {"edtSensorCh", "TabSensor"},            {"edtRelayMotion", "TabRelay"},
    {"edtVideo", "TabSystem"},               {"edtHddMode", "TabHdd"},
    {"edtClock", "TabClock"},                {"edtMenuSetupCheck", "TabPassword"},
    {"edtDhcp", "TabNetwork"},               {"edt232BaudRate", "TabSerial"},
    {"edtSendEmail", "TabEmail"},
};
// Sub-pages in their order; the record pages keep the order the double-click on a schedule
// cell relies on (2 = first variant, 3 = second variant, 4 = frame rate). TabRec is never
// shown (every page set hides it), so the recording options it would hold have a page of
// their own.
constexpr int kMaxSubPages = 9;
const char *const kSubPages[6][kMaxSubPages] = {
    {nullptr},
    {"TabPosition", "TabSequence", "TabDisplay", "TabTitle", "TabMultiScreen", "TabCovert", "TabSpot", nullptr},
    {"TabSche", "TabRec", "TabRec2", "TabRec3", "TabFrameRate", "TabQuality", "TabRecEvent", "TabHoliday", "TabRecOption"},
    {"TabEvent", "TabMotion", "TabSensor", "TabRelay", nullptr},
    {"TabSystem", "TabHdd", "TabExtBay0", "TabExtBay1", "TabExtBay2", "TabExtBay3", "TabClock", "TabPassword", nullptr},
    {"TabNetwork", "TabSerial", "TabPtz", "TabEmail", nullptr},
};

QString ControlCaption(const QString &name);

// The caption beside element i of a field.
QString FieldCaption(const DvrEnvField &f, int i, const QString &name)
{
    static const std::map<QString, QString> named = {
        {"edtTimeServer2", "Time Server"}, {"edtDynamicSvr2", "Dynamic Server"}, {"edtRemoId", "Remote Id"},
        {"edtIp", "IP Address"},           {"edtDns", "DNS"},                    {"edtDhcp", "DHCP"},
        {"edtSpotMode_4CH", "Spot Mode"},  {"edtRemovableMode", "Removable Mode"}, {"edtQuickRemoteId", "Quick Remote Id"},
        {"edtRemoIdDisp", "Remote Id Disp"},
    };
    if (std::strcmp(f.name, "edtHddMode") == 0)
        return i == 0 ? QString("REMOVABLE") : QString("FIXED %1").arg(i);
    if (std::strcmp(f.name, "edtExtHddMode") == 0)
        return QString::asprintf("EXT - %02d", i + 1);
    if (const auto it = named.find(name); it != named.end())
        return it->second;
    // Arrays named from 0 (channels, relays) are captioned from 1, as the operator counts;
    // layout cells keep their cell names.
    if (f.count > 1 && EnvControlName(f, 0).back() == '0' && std::strncmp(f.name, "edtMulti", 8) != 0)
        return ControlCaption(f.name) + " " + QString::number(i + 1);
    return ControlCaption(name);
}

QString PageCaption(const QString &page)
{
    static const std::map<QString, QString> captions = {
        {"TabSche", "SCHEDULE"},        {"TabRec2", "RECORD"},          {"TabRec3", "RECORD"},
        {"TabFrameRate", "FRAME RATE"}, {"TabRecEvent", "EVENT REC"},   {"TabRecOption", "OPTION"},
        {"TabMultiScreen", "MULTI"},    {"TabPtz", "PAN/TILT"},         {"TabHdd", "HDD"},
        {"TabExtBay0", "EXT 01-10"},    {"TabExtBay1", "EXT 11-20"},    {"TabExtBay2", "EXT 21-30"},
        {"TabExtBay3", "EXT 31-40"},    {"TabEmail", "E-MAIL"},
    };
    const auto it = captions.find(page);
    return it != captions.end() ? it->second : page.mid(3).toUpper();
}

// A control's caption from its name: "edtRepeatRecord" -> "Repeat Record", "edtAudio5" -> "Audio 5".
QString ControlCaption(const QString &name)
{
    QString in = name;
    for (const char *prefix : {"edt", "chk"})
        if (in.startsWith(prefix))
            in = in.mid(3);
    // The serial lines: "232BaudRate" -> "RS-232 Baud Rate".
    if (in.startsWith("232") || in.startsWith("485"))
        return "RS-" + in.left(3) + " " + ControlCaption(in.mid(3));
    QString out;
    for (int i = 0; i < in.size(); ++i) {
        const QChar c = in[i];
        const QChar prev = i > 0 ? in[i - 1] : QChar();
        if (i > 0 && ((c.isUpper() && prev.isLower()) || (c.isDigit() && prev.isLetter())))
            out += ' ';
        out += c;
    }
    return out;
}

QStringList Range(int first, int last, const char *suffix = "")
{
    QStringList l;
    for (int i = first; i <= last; ++i)
        l << QString::number(i) + suffix;
    return l;
}

const QStringList kOffOn = {"OFF", "ON"};
const QStringList kRates = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
const QStringList kPalSizes = {"720x288", "720x576", "360x288"};
const QStringList kNtscSizes = {"720x240", "720x480", "360x240"};
const int kQuickFramePal[6] = {4, 8, 16, 25, 50, 100};
const int kQuickFrameNtsc[6] = {4, 8, 16, 30, 60, 120};

QStringList ItemsFor(const std::string &name, int items)
{
    static const std::map<std::string, QStringList> lists = {
        {"edtQuickImageSize", kPalSizes},
        {"edtQuickEvent", {"OFF", "ALL", "ALARM", "V-LOSS", "MOTION", "ALARM&LOSS", "ALARM&MOTION", "LOSS&MOTION"}},
        {"edtQuickQuality", {"LOW", "FINE", "SUPERFINE"}},
        {"edtDateTimeMode", {"NUMBER", "INITIAL"}},
        {"edtHddFreeMode", {"PERCENT", "GIGABYTE"}},
        {"edtBorderColor", {"BLACK", "WHITE"}},
        {"edtTitleMode", {"TEXT", "BITMAP"}},
        {"edtCvSelect", {"LIVE", "PLAY", "NETWORK", "LV & PB", "LV & NW", "PB & NW", "LV & PB & NW"}},
        {"edtSpotMode", {"MANUAL", "EVENT", "SEQUENCE"}},
        {"edtSpotMode_4CH", {"MANUAL", "EVENT"}},
        {"edtPtzModel",
         {"NONE        ", "SPD         ", "SRX-100B    ", "VC-C4R      ", "SD-290      ", "SCC-643     ",
          "PELCO D-TYPE", "DSC-230     ", "CS-854      ", "DMP23       ", "LPT-A100L", "PELCO P-TYPE", "BOSCH",
          "TK-C655/C676"}},
        {"edtPtzSpeed", kRates},
        {"edtRepeatAlarm", Range(5, 10, " %")},
        {"edtPlayMode", {"AUTO", "FIELD", "FRAME"}},
        {"edtBackupMode", {"OFF", "MIRROR", "EVENT"}},
        {"edtRelayMotion", {"-", "1", "2", "3"}},
        {"edtRelayLoss", {"-", "1", "2", "3"}},
        {"edtRelayAlarm", {"-", "1", "2", "3"}},
        {"edtSensorCh", {"NORMAL OPEN", "NORMAL CLOSE", "NOT USED"}},
        {"edtRelay4", {"NOT USED", "HDD ERROR", "POWER", "USER"}},
        {"edtEventSensorMode", {"SCREEN HOLD", "EVENT FULL", "EVENT MULTI"}},
        {"edtRemovableMode", {"FIXED/BACKUP", "PORTABLE"}},
        {"edtHddMode", {"REC", "BACKUP"}},
        {"edtExtHddMode", {"REC", "BACKUP"}},
        {"edtLanguage", {"ENGLISH", "KOREAN", "JAPANESE", "POLISH", "SPANISH", "RUSSIAN", "CHINESE", "TURKISH"}},
        {"edtQuickRemoteId", {"ALL", "11", "12", "13", "14", "21", "22", "23", "24", "31", "32", "33", "34", "41", "42", "43", "44"}},
        {"edtRemoId", {"ALL", "11", "12", "13", "14", "21", "22", "23", "24", "31", "32", "33", "34", "41", "42", "43", "44"}},
        {"edtDayStartMonth", Range(1, 12)},
        {"edtDayEndMonth", Range(1, 12)},
        {"edtDayStartWeek", {"1ST", "2ND", "3RD", "4TH", "5TH"}},
        {"edtDayEndWeek", {"1ST", "2ND", "3RD", "4TH", "5TH"}},
        {"edtDayStartDay", {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"}},
        {"edtDayEndDay", {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"}},
        {"edtDayStartTime", Range(1, 12, "AM")},
        {"edtDayEndTime", Range(1, 12, "AM")},
        {"edtVideo", {"PAL", "NTSC", "AUTO"}},
        {"edtNetworkLiveImageSize", {"360 x 240", "720 x 240"}},
        {"edt232BaudRate", kRates},
        {"edt485BaudRate", kRates},
        {"edt232DataBit", {"6", "7", "8"}},
        {"edt485DataBit", {"6", "7", "8"}},
        {"edt232ParityBit", {"NONE", "EVEN", "ODD"}},
        {"edt485ParityBit", {"NONE", "EVEN", "ODD"}},
        {"edt232StopBit", {"1", "2"}},
        {"edt485StopBit", {"1", "2"}},
        {"edtOutputMode", {"RS-485", "RS-422"}},
    };
    if (name == "edtTimeZone") {
        QStringList zones;
        for (int h = -11; h <= 12; ++h)
            zones << QString::asprintf("GMT%c%02d:00", h < 0 ? '-' : '+', std::abs(h));
        return zones;
    }
    const auto it = lists.find(name);
    if (it != lists.end())
        return it->second;
    return items == 2 ? kOffOn : Range(0, items - 1);
}

const char *kLoadedProperty = "envLoaded";

// A page asks for the room that shows it whole: a plain scroll area caps its wish at a few
// dozen text lines, which opened the dialog with three rows of a page in view.
class PageArea : public QScrollArea {
public:
    QSize sizeHint() const override
    {
        const int f = 2 * frameWidth();
        return widget() ? widget()->sizeHint() + QSize(f, f) : QScrollArea::sizeHint();
    }
};

} // namespace

TfrmDvrEnv::TfrmDvrEnv(QWidget *owner)
    : QDialog(owner), Comm1(std::make_unique<comm::TComm>()), Comm2(std::make_unique<comm::TComm>()),
      record_(size_t(kDvrEnvRecordSize), 0)
{
    setObjectName("frmDvrEnv");
    setWindowTitle("Dvr Env");
    ReadFontSettings();
    showMessage = [this](const QString &text) { QMessageBox::warning(this, windowTitle(), text); };
    chooseFile = [this](bool save) {
        const QString filter = "Dvr Setup File (*.env)";
        if (!save)
            return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
        QFileDialog d(this, QString(), QString(), filter);
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setDefaultSuffix("env");
        return d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty() ? d.selectedFiles().first() : QString();
    };
    BuildPages();
    BuildProgramPages();
    BuildTitlePage();
    FinishPageLayouts();
    // Creation: title channel 0, 16 channels, groups of 4, the families and their lists.
    LookUpFamilies();
}

TfrmDvrEnv::~TfrmDvrEnv() = default;

void TfrmDvrEnv::FinishPageLayouts()
{
    // Controls keep their natural size at the top left of a page; the spare room goes to an
    // empty last row and column instead of stretching or spreading them.
    for (QScrollArea *page : findChildren<QScrollArea *>()) {
        auto *grid = page->widget() ? qobject_cast<QGridLayout *>(page->widget()->layout()) : nullptr;
        if (!grid)
            continue;
        for (int r = 0; r < grid->rowCount(); ++r)
            grid->setRowStretch(r, 0);
        for (int c = 0; c < grid->columnCount(); ++c)
            grid->setColumnStretch(c, 0);
        grid->setRowStretch(grid->rowCount(), 1);
        grid->setColumnStretch(grid->columnCount(), 1);
    }
    // A spin box shows its number only after its value is set once; before the first record
    // its edit would be blank.
    for (QSpinBox *s : findChildren<QSpinBox *>())
        s->setValue(s->value());
}

void TfrmDvrEnv::ReadFontSettings()
{
    chFont_ = strandel::ReadFontSettings("ChFont", font(), 0, &chFontColor_);
}

void TfrmDvrEnv::BuildPages()
{
    auto *layout = new QVBoxLayout(this);
    PageMain = new QTabWidget(this);
    PageMain->setObjectName("PageMain");
    layout->addWidget(PageMain, 1);

    std::map<QString, QGridLayout *> grids;
    std::map<QString, int> used;
    const auto addPage = [&](QTabWidget *tabs, const QString &name, const QString &caption) {
        auto *scroll = new PageArea;
        scroll->setObjectName(name);
        scroll->setWidgetResizable(true);
        auto *inner = new QWidget;
        grids[name] = new QGridLayout(inner);
        scroll->setWidget(inner);
        tabs->addTab(scroll, caption);
    };
    const auto addSubPages = [&](const char *name, const QString &caption, int tab) {
        auto *tabs = new QTabWidget;
        tabs->setObjectName(name);
        PageMain->addTab(tabs, caption);
        for (const char *const *p = kSubPages[tab]; p < kSubPages[tab] + kMaxSubPages && *p; ++p)
            addPage(tabs, *p, PageCaption(*p));
        return tabs;
    };
    addPage(PageMain, "TabSheet6", "QUICK SETUP");
    PageScreen = addSubPages("PageScreen", "SCREEN", 1);
    PageRecord = addSubPages("PageRecord", "RECORD", 2);
    PageEvent = addSubPages("PageEvent", "EVENT", 3);
    PageSystem = addSubPages("PageSystem", "SYSTEM", 4);
    PageLink = addSubPages("PageLink", "LINK", 5);
    {
        auto *download = new QWidget;
        download->setObjectName("TabDownload");
        auto *l = new QVBoxLayout(download);
        btnDownload = new QPushButton("FIRMWARE UPGRADE", download);
        btnDownload->setObjectName("btnDownload");
        l->addWidget(btnDownload);
        l->addStretch(1);
        PageMain->addTab(download, "DOWNLOAD");
    }

    // The layout cells sit on one panel per channel count.
    QGridLayout *multi = grids["TabMultiScreen"];
    QFrame *panels[3];
    static const char *kPanels[3] = {"pnlMulti4", "pnlMulti8", "pnlMulti16"};
    for (int i = 0; i < 3; ++i) {
        panels[i] = new QFrame(multi->parentWidget());
        panels[i]->setObjectName(kPanels[i]);
        grids[kPanels[i]] = new QGridLayout(panels[i]);
        multi->addWidget(panels[i], 100, 0, 1, 6);
    }

    // Schedule grid: rows SUN .. SAT, an all-day switch and 24 hour cells each.
    QGridLayout *sche = grids["TabSche"];
    static const char *kDays[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    const QString kCellItems[2] = {"0", "-"};
    for (int d = 0; d < 7; ++d) {
        sche->addWidget(new QLabel(kDays[d]), d + 1, 0);
        auto *all = new TMyItemEdit(sche->parentWidget());
        all->setObjectName(QString("edtAll%1").arg(d));
        all->SetItem(2, kCellItems);
        all->setProperty("Tag", d);
        all->setFixedWidth(18);
        sche->addWidget(all, d + 1, 1);
        connect(all, &QLineEdit::textChanged, this, [this, all, d] {
            for (int h = 0; h < 24; ++h)
                cells_[size_t(d * 24 + h)]->SetValue(all->GetValue());
        });
        for (int h = 0; h < 24; ++h) {
            auto *cell = new TMyItemEdit(sche->parentWidget());
            const int i = d * 24 + h;
            cell->setObjectName(QString("edtMon%1").arg(i));
            cell->SetItem(2, kCellItems);
            cell->setReadOnly(true);
            cell->setMaxLength(1);
            cell->setFixedWidth(18);
            cell->setProperty("Tag", 0);
            cells_[size_t(i)] = cell;
            sche->addWidget(cell, d + 1, h + 2);
            const auto colour = [cell] {
                QPalette p = cell->palette();
                p.setColor(QPalette::Base, cell->GetValue() == 0 ? QColor(255, 255, 255) : QColor(128, 128, 128));
                cell->setPalette(p);
            };
            colour();
            connect(cell, &QLineEdit::textChanged, this, colour);
            controls_[cell->objectName()] = cell;
        }
        controls_[all->objectName()] = all;
    }
    for (int h = 0; h < 24; ++h)
        sche->addWidget(new QLabel(QString::number(h)), 0, h + 2);

    // Every other field's controls, page by page in the table's order.
    QString page = "TabSheet6";
    for (const DvrEnvField &f : DvrEnvFields()) {
        for (const PageStart &s : kPageStarts)
            if (std::strcmp(s.firstField, f.name) == 0)
                page = s.page;
        if (f.encoding == E::Schedule || f.encoding == E::Mark || f.encoding == E::Block || f.encoding == E::Password)
            continue;
        for (int i = 0; i < f.count; ++i) {
            // The layout cells and switches sit on the panel of their channel count.
            QString holder = page;
            if (std::strncmp(f.name, "edtMulti", 8) == 0 || std::strncmp(f.name, "chkLive", 7) == 0)
                holder = kPanels[f.channels == kEnvCh4 ? 0 : f.channels == kEnvCh8 ? 1 : 2];
            // The external disks, ten to a bay page.
            if (std::strcmp(f.name, "edtExtHddMode") == 0)
                holder = QString("TabExtBay%1").arg(i / 10);
            QGridLayout *grid = grids[holder];
            QWidget *c = MakeControl(f, i, grid->parentWidget());
            if (!c)
                continue;
            controls_[c->objectName()] = c;
            // Bound but not shown.
            if (c->objectName() == "edtMenuSetupCheck" || c->objectName() == "edtRemoCheck") {
                c->hide();
                continue;
            }
            // A holiday's month and day side by side, four holidays to a row.
            const bool month = std::strcmp(f.name, "edtHoliMon") == 0;
            if (month || std::strcmp(f.name, "edtHoliDay") == 0) {
                const int row = 2 + i / 4, col = (i % 4) * 3;
                if (month) {
                    auto *label = new QLabel(QString("HOLIDAY %1").arg(i + 1), grid->parentWidget());
                    label->setBuddy(c);
                    grid->addWidget(label, row, col);
                }
                grid->addWidget(c, row, col + (month ? 1 : 2));
                continue;
            }
            const int n = used[holder]++;
            const int row = n / 3, col = (n % 3) * 2;
            auto *label = new QLabel(FieldCaption(f, i, c->objectName()), grid->parentWidget());
            // The caption follows its control when a model hides it.
            label->setBuddy(c);
            grid->addWidget(label, row, col);
            grid->addWidget(c, row, col + 1);
        }
    }

    // Passwords: masked, eight digits.
    QGridLayout *pw = grids["TabPassword"];
    const char *kPw[6] = {"edtMasterOld", "edtMasterNew", "edtMasterRetype", "edtSlaveOld", "edtSlaveNew", "edtSlaveRetype"};
    QLineEdit **pwEdits[6] = {&edtMasterOld, &edtMasterNew, &edtMasterRetype, &edtSlaveOld, &edtSlaveNew, &edtSlaveRetype};
    for (int i = 0; i < 6; ++i) {
        auto *e = new QLineEdit(pw->parentWidget());
        e->setObjectName(kPw[i]);
        e->setMaxLength(8);
        e->setEchoMode(QLineEdit::Password);
        *pwEdits[i] = e;
        pw->addWidget(new QLabel(ControlCaption(kPw[i]), pw->parentWidget()), 50 + i, 0);
        pw->addWidget(e, 50 + i, 1);
        controls_[e->objectName()] = e;
    }

    auto *buttons = new QHBoxLayout;
    const auto button = [&](QPushButton *&b, const char *name, const char *caption) {
        b = new QPushButton(caption, this);
        b->setObjectName(name);
        buttons->addWidget(b);
    };
    button(btnLoad, "btnLoad", "Load");
    button(btnOpen, "btnOpen", "Open");
    button(btnSave, "btnSave", "Save");
    button(btnUpdate, "btnUpdate", "Send");
    buttons->addStretch(1);
    button(btnCancel, "btnCancel", "Close");
    layout->addLayout(buttons);
    for (QPushButton *b : {btnLoad, btnOpen, btnSave, btnUpdate, btnCancel, btnDownload})
        b->setAutoDefault(false);
    connect(btnLoad, &QPushButton::clicked, this, [this] { btnLoadClick(); });
    connect(btnOpen, &QPushButton::clicked, this, [this] { btnOpenClick(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnUpdate, &QPushButton::clicked, this, [this] { btnUpdateClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(btnDownload, &QPushButton::clicked, this, [this] { btnDownloadClick(); });
    if (auto *size = qobject_cast<QComboBox *>(Control("edtQuickImageSize")))
        connect(size, &QComboBox::currentIndexChanged, this, [this] { FillQuickFrameList(); });
    FormShow();
}

QWidget *TfrmDvrEnv::MakeControl(const DvrEnvField &f, int i, QWidget *page)
{
    const QString name = QString::fromStdString(EnvControlName(f, i));
    QWidget *w = nullptr;
    switch (f.encoding) {
    case E::Index:
    case E::OneBased:
    case E::Audio: {
        auto *c = new QComboBox(page);
        c->addItems(ItemsFor(f.name, f.max + 1));
        w = c;
        break;
    }
    case E::Number:
        if (std::strncmp(f.name, "edtHoli", 7) == 0) {
            auto *v = new TMyValueEdit(page);
            v->SetMinValue(f.min);
            v->SetMaxValue(f.max);
            v->setMaxLength(2);
            v->setFixedWidth(36);
            w = v;
            break;
        }
        [[fallthrough]];
    case E::Position:
    case E::Digits: {
        auto *s = new QSpinBox(page);
        s->setRange(f.min, f.max);
        w = s;
        break;
    }
    case E::Flag:
        w = new QCheckBox("DISPLAY", page);
        break;
    case E::Ip:
        w = new TIpEdit(page);
        w->setMinimumSize(150, 22);
        break;
    case E::Text:
    case E::Title: {
        auto *e = new QLineEdit(page);
        e->setMaxLength(f.encoding == E::Title ? 8 : f.textMax);
        w = e;
        break;
    }
    case E::Time: {
        auto *t = new TDateTimeEdit(page);
        t->setEnabled(false); // the recorder's clock is shown, not set here
        w = t;
        break;
    }
    default:
        return nullptr;
    }
    w->setObjectName(name);
    return w;
}

QWidget *TfrmDvrEnv::Control(const QString &name) const
{
    const auto it = controls_.find(name);
    return it != controls_.end() ? it->second : nullptr;
}

const TfrmDvrEnv::ControlFamily &TfrmDvrEnv::Family(const std::string &prefix) const
{
    static const ControlFamily none{};
    const auto it = families_.find(prefix);
    return it != families_.end() ? it->second : none;
}

void TfrmDvrEnv::LookUpFamilies()
{
    struct Def {
        const char *prefix;
        const char *page;
    };
    static const Def kFamilies[] = {
        {"edtSize", "TabFrameRate"},        {"edtPairCh", "TabFrameRate"},      {"edtSingleNormal", "TabFrameRate"},
        {"edtSingleEvent", "TabFrameRate"}, {"edtComplexNormal", "TabFrameRate"}, {"edtComplexEvent", "TabFrameRate"},
        {"edtQualityNormal", "TabQuality"}, {"edtQualityEvent", "TabQuality"},   {"edtPreTime", "TabQuality"},
        {"edtPostTime", "TabQuality"},      {"edtAudioCh", "TabRec"},            {"edtEventAlarm", "TabRecEvent"},
        {"edtEventLoss", "TabRecEvent"},    {"edtEventMotion", "TabRecEvent"},   {"lblSingle", "TabRecEvent"},
        {"ImgTitle", "TabTitle"},
    };
    static const char *kVariant[] = {"edtMpSize", "edtQyNormal", "edtQyEvent", "edtChSel", "edtNormal", "edtSingle",
                                     "edtComplex", "edtMpPre", "edtMpPost", "edtMpAlarm", "edtMpLoss", "edtMpMotion"};
    const auto lookUp = [this](const char *page, const std::string &prefix, const std::string &suffix) {
        ControlFamily family{};
        auto *holder = findChild<QWidget *>(page);
        for (int ch = 0; holder && ch < 16; ++ch)
            family[size_t(ch)] = holder->findChild<QWidget *>(QString::fromStdString(prefix + std::to_string(ch) + suffix));
        return family;
    };
    families_.clear();
    for (const Def &d : kFamilies)
        families_[d.prefix] = lookUp(d.page, d.prefix, "");
    // The variant families come from the first variant's page unless the second one is in use.
    const bool second = variantPage_ == "TabRec3";
    for (const char *v : kVariant)
        families_[v] = lookUp(second ? "TabRec3" : "TabRec2", v, second ? "Et" : "");

    // Item lists of the families that hold choice edits.
    const QString sizes[3] = {"720x240", "720x480", "360x240"};
    const QString quality[3] = {"      LOW", "      FINE", "SUPERFINE"};
    QString pair[17], audio[5];
    pair[0] = audio[0] = "-";
    for (int i = 1; i <= 16; ++i)
        pair[i] = QString::number(i);
    for (int i = 1; i <= 4; ++i)
        audio[i] = QString::number(i);
    const auto load = [this](const char *prefix, int count, const QString *items) {
        for (QWidget *w : families_[prefix])
            if (auto *e = qobject_cast<TMyItemEdit *>(w))
                e->SetItem(count, items);
    };
    load("edtPairCh", 17, pair);
    load("edtChSel", 17, pair);
    load("edtAudioCh", 5, audio);
    for (const char *q : {"edtQualityNormal", "edtQualityEvent", "edtQyNormal", "edtQyEvent"})
        load(q, 3, quality);
    load("edtSize", 3, sizes);
    load("edtMpSize", 3, sizes);
}

void TfrmDvrEnv::ShowTab(QTabWidget *tabs, int index, bool on)
{
    if (tabs && index >= 0 && tabs->isTabVisible(index) != on)
        tabs->setTabVisible(index, on);
}

void TfrmDvrEnv::ChoosePageSet()
{
    const QString page = variant_ == 2 && UsesVariantPages() ? "TabRec3" : "TabRec2";
    if (page == variantPage_ && !families_.empty())
        return;
    variantPage_ = page;
    LookUpFamilies();
}

void TfrmDvrEnv::ResetForOpening()
{
    titleChannel_ = 0;
    ownChannels_ = 16;
    groupSize_ = groupCount_ = 4;
    variantPage_ = "TabRec2";
    LookUpFamilies();
    SelectCell(nullptr);
    currentProgram_ = 0;
    for (const char *name : {"edtRecPrg", "edtRecPrg2", "edtRecPrg3"})
        if (auto *prg = qobject_cast<QSpinBox *>(Control(name))) {
            const QSignalBlocker block(prg);
            prg->setValue(0);
        }
    for (QLineEdit *e : {edtMasterOld, edtMasterNew, edtMasterRetype, edtSlaveOld, edtSlaveNew, edtSlaveRetype})
        e->clear();
}

QSize TfrmDvrEnv::WholePageSize()
{
    // Until a record arrives only the last page is shown, and a tab widget measures shown pages
    // only: all of them are shown for the measure.
    struct Shown {
        QTabWidget *tabs;
        int current;
        std::vector<bool> visible;
    };
    std::vector<Shown> shown;
    for (QTabWidget *t : findChildren<QTabWidget *>()) {
        Shown was{t, t->currentIndex(), {}};
        for (int i = 0; i < t->count(); ++i) {
            was.visible.push_back(t->isTabVisible(i));
            ShowTab(t, i, true);
        }
        shown.push_back(std::move(was));
    }
    const QSize size = layout()->totalSizeHint();
    for (const Shown &was : shown) {
        for (int i = 0; i < was.tabs->count(); ++i)
            ShowTab(was.tabs, i, was.visible[size_t(i)]);
        was.tabs->setCurrentIndex(was.current);
    }
    return size;
}

void TfrmDvrEnv::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        // Opens at the size the user gave it last, else at one that shows a whole page; never
        // larger than the screen (the pages scroll then).
        QSize want(RegReadInt("SetupWidth", 0), RegReadInt("SetupHeight", 0));
        if (want.width() <= 0 || want.height() <= 0)
            want = WholePageSize();
        if (const QScreen *s = screen()) {
            const int titleRoom = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8;
            want = want.boundedTo(s->availableGeometry().size() - QSize(8, titleRoom + 8));
        }
        resize(want.expandedTo(minimumSizeHint()));
        // Where the user left it, else centred with its title bar on the screen.
        if (!testAttribute(Qt::WA_Moved))
            CentreOver(this, parentWidget());
    }
    QDialog::setVisible(visible);
}

void TfrmDvrEnv::hideEvent(QHideEvent *e)
{
    if (!e->spontaneous()) {
        RegWriteInt("SetupWidth", width());
        RegWriteInt("SetupHeight", height());
    }
    QDialog::hideEvent(e);
}

void TfrmDvrEnv::showEvent(QShowEvent *e)
{
    // A new opening, not a return from a sub-dialog: start over.
    opening_ = true;
    FormActivate();
    FormShow();
    QDialog::showEvent(e);
}

void TfrmDvrEnv::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QDialog::changeEvent(e);
}

void TfrmDvrEnv::FormActivate()
{
    // Only the activation that opens the dialog resets it; coming back from the motion, font
    // or upgrade dialog keeps the program, channel count, page set, passwords and cell.
    if (!opening_)
        return;
    opening_ = false;
    ResetForOpening();
}

void TfrmDvrEnv::FormShow()
{
    for (QTabWidget *t : {PageScreen, PageRecord, PageEvent, PageSystem, PageLink})
        t->setCurrentIndex(0);
    for (int i = 0; i < 6; ++i)
        ShowTab(PageMain, i, false);
    PageMain->setCurrentIndex(6);
    btnSave->setEnabled(false);
    btnUpdate->setEnabled(false);
}

void TfrmDvrEnv::keyPressEvent(QKeyEvent *e)
{
    if (e->text() == QString(QChar(28))) {
        SetModalResult(kModalResultCancel);
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfrmDvrEnv::SetRecordVariant(uint8_t variant)
{
    variant_ = variant;
    // The play-mode list is the variant's; the page set waits for the channel count.
    if (auto *play = qobject_cast<QComboBox *>(Control("edtPlayMode"))) {
        const QStringList items = variant == 0 ? QStringList{"AUTO", "FIELD", "FRAME"} : QStringList{"FIELD", "FRAME"};
        if (play->count() != items.size()) {
            play->clear();
            play->addItems(items);
        }
    }
}

void TfrmDvrEnv::SetModel(uint8_t standard, int channelCount)
{
    standard_ = standard & 0x0F;
    frameBudget_ = IsNtsc() ? 120 : 100;
    const int fps = IsNtsc() ? 30 : 25;
    // The recorder's own count: a recorder of 6 has no channels 7-16 to edit or budget.
    ownChannels_ = channelCount >= 1 && channelCount <= 16 ? channelCount : 16;
    ChoosePageSet();

    for (int a = 5; a <= 8; ++a)
        if (QWidget *w = Control(QString("edtAudio%1").arg(a)))
            w->setEnabled(PageChannels() == 16 && (variant_ == 1 || variant_ == 2));
    ShowControl("edtNetworkLiveImageSize", variant_ == 1 && PageChannels() == 16);

    const QStringList &sizes = IsNtsc() ? kNtscSizes : kPalSizes;
    if (auto *q = qobject_cast<QComboBox *>(Control("edtQuickImageSize"))) {
        const int keep = q->currentIndex();
        const QSignalBlocker block(q);
        q->clear();
        q->addItems(sizes);
        q->setCurrentIndex(keep);
    }
    for (const QString &name : {QString("lblEvent"), QString("lblMpSingle0"), QString("lblMpSingle1"),
                                QString("lblMpSingle2"), QString("lblMpSingle3")})
        if (auto *l = findChild<QLabel *>(name))
            l->setText(QString::number(frameBudget_));
    const QString sizeItems[3] = {sizes[0], sizes[1], sizes[2]};
    for (const char *fam : {"edtSize", "edtMpSize"})
        for (QWidget *w : Family(fam))
            if (auto *e = qobject_cast<TMyItemEdit *>(w))
                e->SetItem(3, sizeItems);
    for (const char *fam : {"edtSingleNormal", "edtSingleEvent", "edtComplexNormal", "edtComplexEvent", "edtNormal",
                            "edtSingle", "edtComplex"})
        for (QWidget *w : Family(fam))
            if (auto *s = qobject_cast<QSpinBox *>(w))
                s->setMaximum(fps);

    static const char *kPanels[3] = {"pnlMulti4", "pnlMulti8", "pnlMulti16"};
    const int panel = PageChannels() == 4 ? 0 : PageChannels() == 8 ? 1 : 2;
    for (int i = 0; i < 3; ++i)
        if (auto *p = findChild<QWidget *>(kPanels[i]))
            p->setVisible(i == panel);
    for (auto &[name, w] : controls_)
        if (name.startsWith("edtMulti"))
            if (auto *s = qobject_cast<QSpinBox *>(w))
                s->setMaximum(PageChannels());

    const auto enable = [this](const char *name, bool on) {
        if (QWidget *w = Control(name))
            w->setEnabled(on);
    };
    for (const char *n : {"edtSeqTime4D", "edtSeqTime4E", "edtSeqTime9B", "edtSeqTime10", "edtSeqTime13", "edtSeqTime16"})
        enable(n, PageChannels() == 16);
    for (const char *n : {"edtSeqTime4B", "edtSeqTime4C", "edtSeqTime7", "edtSeqTime9A"})
        enable(n, PageChannels() >= 8);
    enable("edtSeqTime6", PageChannels() >= 8 && variant_ != 0);
    if (auto *multi = findChild<QWidget *>("TabMultiScreen"))
        ShowTab(PageScreen, PageScreen->indexOf(multi), PageChannels() >= 8);
    ShowControl("edtSpotMode", PageChannels() != 4);
    ShowControl("edtSpotMode_4CH", PageChannels() == 4);
    enable("edtSpotSeqTime", PageChannels() != 4);

    // Per-channel controls of channels the recorder lacks are disabled.
    for (const DvrEnvField &f : DvrEnvFields())
        if (f.count == 16 && f.encoding != E::Block && std::strncmp(f.name, "edtMulti", 8) != 0)
            for (int ch = 0; ch < 16; ++ch)
                if (QWidget *w = Control(QString::fromStdString(EnvControlName(f, ch))))
                    w->setEnabled(ch < ownChannels_);
    for (auto &[name, family] : families_)
        for (int ch = 0; ch < 16; ++ch)
            if (family[size_t(ch)])
                family[size_t(ch)]->setEnabled(ch < ownChannels_);
    for (int ch = 0; ch < 16; ++ch)
        if (QWidget *area = Control(QString("btnMotionArea%1").arg(ch)))
            area->setEnabled(ch < ownChannels_);
}

void TfrmDvrEnv::ShowControl(const QString &name, bool visible)
{
    QWidget *w = Control(name);
    if (!w)
        return;
    w->setVisible(visible);
    if (QWidget *page = w->parentWidget())
        for (QLabel *l : page->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
            if (l->buddy() == w)
                l->setVisible(visible);
}

void TfrmDvrEnv::FillQuickFrameList()
{
    auto *size = qobject_cast<QComboBox *>(Control("edtQuickImageSize"));
    auto *frame = qobject_cast<QComboBox *>(Control("edtQuickRecordFrame"));
    if (!size || !frame)
        return;
    const int index = size->currentIndex();
    const int n = index == 0 ? 5 : index == 1 ? 4 : 6;
    const int *table = IsNtsc() ? kQuickFrameNtsc : kQuickFramePal;
    frame->clear();
    for (int i = 0; i < n; ++i)
        frame->addItem(QString::number(table[i]));
    frame->setCurrentIndex(n - 1);
}

void TfrmDvrEnv::SelectCell(TMyItemEdit *cell)
{
    if (selectedCell_ && selectedCell_ != cell) {
        QPalette p = selectedCell_->palette();
        p.setColor(QPalette::Text, Qt::black);
        selectedCell_->setPalette(p);
    }
    selectedCell_ = cell;
}

void TfrmDvrEnv::TransferRecord(const uint8_t *record, int direction)
{
    if (!record || direction != 1)
        return;
    std::vector<uint8_t> copy(record, record + kDvrEnvRecordSize);
    TransferRecord(copy.data(), 1);
}

bool TfrmDvrEnv::TransferField(const DvrEnvField &f, int direction)
{
    if (!(f.channels & EnvChannelBit(PageChannels())))
        return true;
    for (int i = 0; i < f.count; ++i) {
        uint8_t *p = record_.data() + EnvElementOffset(f, i);
        if (f.encoding == E::Mark) {
            // The marks follow the schedule cells: 1 for every "on" hour, 0 for every "off" one.
            if (direction == 0)
                p[0] = cells_[size_t(i)]->GetValue() == 0 ? 1 : 0;
            continue;
        }
        if (direction == 1 && f.offset == kEnvQuickRecordFrame)
            FillQuickFrameList();
        QWidget *w = Control(QString::fromStdString(EnvControlName(f, i)));
        if (!w)
            continue;
        const QVariant loaded = w->property(kLoadedProperty);
        if (auto *c = qobject_cast<QComboBox *>(w)) {
            if (direction == 1) {
                const auto v = DecodeEnvValue(f, p);
                c->setCurrentIndex(v && *v < c->count() ? *v : -1);
                w->setProperty(kLoadedProperty, c->currentIndex());
            } else {
                const int cur = c->currentIndex();
                // Nothing chosen, or left as loaded: the bytes stay as they came.
                if (cur >= 0 && (EnvEncodingNormalises(f.encoding) || cur != loaded.toInt()))
                    EncodeEnvValue(f, cur, p);
            }
        } else if (auto *s = qobject_cast<QSpinBox *>(w)) {
            if (direction == 1) {
                const auto v = DecodeEnvValue(f, p);
                // A value the spin cannot hold shows clamped and is not written back unless edited.
                const int raw = f.encoding == E::Digits ? int(DigitsToNumber(p, f.width))
                                : f.encoding == E::Position ? int(int8_t(p[0])) - 4 : p[0];
                s->setValue(v ? *v : raw);
                w->setProperty(kLoadedProperty, s->value());
            } else if (s->value() != loaded.toInt()) {
                EncodeEnvValue(f, s->value(), p);
            }
        } else if (auto *v = qobject_cast<TMyValueEdit *>(w)) {
            if (direction == 1) {
                v->SetValue(p[0]);
                w->setProperty(kLoadedProperty, v->GetValue());
            } else if (v->GetValue() != loaded.toInt()) {
                EncodeEnvValue(f, v->GetValue(), p);
            }
        } else if (auto *item = qobject_cast<TMyItemEdit *>(w)) {
            // Schedule cells and all-day switches: 2 = on (item 0), anything else off (item 1).
            if (direction == 1) {
                item->SetValue(DecodeEnvValue(f, p).value_or(1));
                if (f.offset == kEnvScheduleOffset)
                    item->setProperty("Tag", record_[size_t(kEnvMarkOffset + i)] != 0 ? 1 : 0);
            } else {
                EncodeEnvValue(f, item->GetValue(), p);
                if (f.offset == kEnvScheduleOffset)
                    item->setProperty("Tag", item->GetValue() == 0 ? 1 : 0);
            }
        } else if (auto *k = qobject_cast<QCheckBox *>(w)) {
            if (direction == 1)
                k->setChecked(p[0] != 0);
            else
                EncodeEnvValue(f, k->isChecked() ? 1 : 0, p);
        } else if (auto *ip = qobject_cast<TIpEdit *>(w)) {
            for (int o = 0; o < 4; ++o) {
                const char *key = o == 0 ? "envOctet0" : o == 1 ? "envOctet1" : o == 2 ? "envOctet2" : "envOctet3";
                if (direction == 1) {
                    const auto v = DecodeEnvOctet(p, o);
                    ip->SetIp(o, uint8_t(v ? *v : std::min<uint32_t>(DigitsToNumber(p + 3 * o, 3), 255)));
                    // An octet whose digits cannot be shown is kept unless the user types one.
                    w->setProperty(key, v ? int(ip->GetIp(o)) : -1);
                    w->setProperty((QByteArray(key) + "Shown").constData(), int(ip->GetIp(o)));
                } else {
                    const int was = w->property(key).toInt();
                    const int shown = w->property((QByteArray(key) + "Shown").constData()).toInt();
                    const int cur = ip->GetIp(o);
                    if (was >= 0 ? cur != was : cur != shown)
                        EncodeEnvOctet(p, o, cur);
                }
            }
        } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
            if (direction == 1) {
                e->setText(QString::fromLatin1(DecodeEnvText(f, p)));
                w->setProperty(kLoadedProperty, e->text());
            } else if (f.encoding == E::Title || e->text() != loaded.toString()) {
                EncodeEnvText(f, e->text().toLatin1().toStdString(), p);
            }
        } else if (auto *t = qobject_cast<TDateTimeEdit *>(w)) {
            if (direction == 1)
                t->SetDateTime(p);
        }
    }
    return true;
}

bool TfrmDvrEnv::TransferRecord(uint8_t *buffer, int direction)
{
    if (!buffer)
        return false;
    DebugPrint("Env = %d\n", kDvrEnvRecordSize);
    if (direction == 1) {
        for (int i = 0; i < 6; ++i)
            ShowTab(PageMain, i, true);
        btnSave->setEnabled(true);
        btnUpdate->setEnabled(true);
        PageMain->setCurrentIndex(0);
        std::memcpy(record_.data(), buffer, size_t(kDvrEnvRecordSize));
        loaded_ = true;
        if (!selectedCell_) {
            // The cell of the recorder's own day and hour, in red; a clock it cannot place gives none.
            const RecorderTime clock = ReadRecorderTime(record_.data() + kEnvClockOffset);
            if (clock.hour < 24) {
                SelectCell(cells_[size_t(DayOfWeek(&clock) * 24 + clock.hour)]);
                QPalette p = selectedCell_->palette();
                p.setColor(QPalette::Text, Qt::red);
                selectedCell_->setPalette(p);
            }
        }
    }
    for (const DvrEnvField &f : DvrEnvFields()) {
        if (f.encoding == E::Block && f.offset == kEnvProgramOffset) {
            if (!TransferRecordProgram(direction))
                return false;
            continue;
        }
        if (!TransferField(f, direction))
            return false;
    }
    if (direction == 1)
        ApplyHddMap();
    if (direction == 0) {
        std::memcpy(buffer, record_.data(), size_t(kDvrEnvRecordSize));
        return ApplyPasswords(buffer);
    }
    return true;
}

bool TfrmDvrEnv::ApplyPasswords(uint8_t *buffer)
{
    struct Rule {
        QLineEdit *oldEdit, *newEdit, *retype;
        int offset;
    } rules[2] = {{edtMasterOld, edtMasterNew, edtMasterRetype, kEnvMasterPassword},
                  {edtSlaveOld, edtSlaveNew, edtSlaveRetype, kEnvSlavePassword}};
    for (const Rule &r : rules) {
        const QString typed = r.newEdit->text();
        if (typed.isEmpty())
            continue;
        const uint8_t *stored = buffer + r.offset;
        const auto refuse = [this](const QString &why) {
            if (showMessage)
                showMessage(why);
            return false;
        };
        if (!DigitsValid(stored, 8))
            return refuse("The stored password is not eight digits; it cannot be changed here.");
        QString storedText;
        for (int i = 0; i < 8; ++i)
            storedText += QChar('0' + stored[i]);
        // A new password must be eight digits: anything else would store bytes that are no digits.
        const bool digits = typed.size() == 8 && std::all_of(typed.begin(), typed.end(), [](QChar c) { return c >= '0' && c <= '9'; });
        if (!digits)
            return refuse("Password Must Input 8 bytes");
        if (r.oldEdit->text().left(8) != storedText)
            return refuse("The old password is wrong: nothing was sent or saved.");
        if (r.retype->text() != typed)
            return refuse("The new password and its retype differ: nothing was sent or saved.");
        for (int i = 0; i < 8; ++i)
            buffer[r.offset + i] = uint8_t(typed[i].unicode() - '0');
    }
    return true;
}

void TfrmDvrEnv::SetDvr(DvrServices *view)
{
    dvr_ = view;
    if (view)
        ForgetRecorder();
}

void TfrmDvrEnv::ForgetRecorder()
{
    // Until this recorder's own titles arrive the editor holds blanks, and Download waits.
    titles_.assign(size_t(kTitleBitmapsSize), 0);
    titlesArrived_ = false;
    for (int ch = 0; ch < 16; ++ch)
        RefreshTitle(ch);
    edtTitleCh0Click(0);
    hddMap_.clear();
    ApplyHddMap();
}

void TfrmDvrEnv::SetHddMap(const uint8_t *map)
{
    if (!map)
        return;
    hddMap_.assign(map, map + kHddMapSize);
    ApplyHddMap();
}

void TfrmDvrEnv::SetTitleBitmaps(const uint8_t *bitmaps)
{
    if (!bitmaps)
        return;
    titles_.assign(bitmaps, bitmaps + kTitleBitmapsSize);
    titlesArrived_ = true;
    for (int ch = 0; ch < 16; ++ch)
        RefreshTitle(ch);
    edtTitleCh0Click(0);
}

void TfrmDvrEnv::SetModalResult(int result)
{
    if (isVisible())
        done(result);
    else
        setResult(result);
}

void TfrmDvrEnv::btnLoadClick()
{
    if (dvr_) {
        dvr_->SendCommand(DvrCmdEnvGet);
        dvr_->SendCommand(DvrCmdTitleGet);
        dvr_->SendCommand(DvrCmdDiskMap);
    }
    FormShow();
}

void TfrmDvrEnv::btnUpdateClick()
{
    std::vector<uint8_t> buffer(static_cast<size_t>(kDvrEnvRecordSize));
    // Nothing goes out before a record arrived or a file was opened.
    if (!dvr_ || !loaded_ || !TransferRecord(buffer.data(), 0))
        return;
    dvr_->SendUpload(DvrCmdEnvSet, buffer.data(), buffer.size());
}

void TfrmDvrEnv::btnSaveClick()
{
    std::vector<uint8_t> buffer(static_cast<size_t>(kDvrEnvRecordSize));
    if (!loaded_ || !TransferRecord(buffer.data(), 0))
        return;
    const QString path = chooseFile ? chooseFile(true) : QString();
    if (!path.isEmpty())
        SaveToFile(path);
}

bool TfrmDvrEnv::SaveToFile(const QString &path)
{
    std::vector<uint8_t> buffer(static_cast<size_t>(kDvrEnvRecordSize));
    if (!loaded_ || !TransferRecord(buffer.data(), 0))
        return false;
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.write(reinterpret_cast<const char *>(buffer.data()), qint64(buffer.size())) == qint64(buffer.size()) &&
                    file.commit();
    if (!ok && showMessage)
        showMessage("Cannot write " + path + ": " + file.errorString());
    return ok;
}

void TfrmDvrEnv::btnOpenClick()
{
    const QString path = chooseFile ? chooseFile(false) : QString();
    if (!path.isEmpty())
        OpenFromFile(path);
}

bool TfrmDvrEnv::OpenFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (showMessage)
            showMessage("Cannot read " + path + ": " + file.errorString());
        return false;
    }
    // One byte more than a record tells a longer file from a whole one.
    const QByteArray bytes = file.read(kDvrEnvRecordSize + 1);
    if (bytes.size() != kDvrEnvRecordSize) {
        if (showMessage)
            showMessage(path + " is not a set-up file: it must hold " + QString::number(kDvrEnvRecordSize) +
                        " bytes" + (bytes.size() > kDvrEnvRecordSize ? QString(", it holds more") : ", it holds " + QString::number(bytes.size())) + ".");
        return false;
    }
    std::vector<uint8_t> buffer(bytes.begin(), bytes.end());
    return TransferRecord(buffer.data(), 1);
}

void TfrmDvrEnv::btnDownloadClick()
{
    if (dvr_)
        dvr_->OpenUpgradeDialog();
}

} // namespace strandel
