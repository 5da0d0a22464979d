// The record-program pages of the set-up editor: the default page set (frame rate, quality,
// record events) and the two variant page sets, the program switch, the frame budget and the
// pairing of half-size channels; and the password edits' key and exit rules.
#include "viewer/admin/dvrenv.h"

#include "viewer/controls/myitemedit.h"
#include "viewer/protocol/recordprogram.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>

namespace strandel {

namespace {

const char *kLoaded = "prgLoaded";
const char *kRaw = "prgRaw"; // the byte a spin was loaded from, before it clamped it

// The families of the variant pages hidden at odd positions of a half-size group.
const char *const kVariantHidden[] = {"edtNormal", "edtSingle", "edtComplex", "edtQyNormal", "edtQyEvent",
                                      "edtMpPre",  "edtMpPost", "edtMpAlarm", "edtMpLoss",  "edtMpMotion"};
// The default families a partner channel loses.
const char *const kPartnerHidden[] = {"edtSingleNormal", "edtComplexEvent", "edtQualityNormal", "edtQualityEvent",
                                      "edtPreTime",      "edtPostTime",     "edtAudioCh",       "edtEventAlarm",
                                      "edtEventLoss",    "edtEventMotion"};

QGridLayout *PageGrid(QWidget *form, const char *page)
{
    auto *scroll = form->findChild<QScrollArea *>(page);
    return scroll && scroll->widget() ? qobject_cast<QGridLayout *>(scroll->widget()->layout()) : nullptr;
}

int ItemOf(QWidget *w)
{
    auto *e = qobject_cast<TMyItemEdit *>(w);
    return e ? e->GetValue() : 0;
}
int SpinOf(QWidget *w)
{
    auto *s = qobject_cast<QSpinBox *>(w);
    return s ? s->value() : 0;
}
// The value the store will send: a spin left as loaded keeps its byte, also one it could not
// show (a PAL rate of 30 shows 25), so the budget must count that byte.
int SentOf(QWidget *w)
{
    auto *s = qobject_cast<QSpinBox *>(w);
    if (!s)
        return 0;
    const QVariant raw = s->property(kRaw);
    return raw.isValid() && s->value() == s->property(kLoaded).toInt() ? raw.toInt() : s->value();
}

void SetRed(QLabel *l, bool red)
{
    if (!l)
        return;
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, red ? QColor(255, 0, 0) : QColor(0, 0, 0));
    l->setPalette(p);
    l->setProperty("red", red);
}

// One byte of the block to a control and back; stored only when the control no longer shows
// what it was loaded with, so values a control cannot show travel unchanged.
void Bind(QWidget *w, uint8_t *p, int direction)
{
    if (!w)
        return;
    if (auto *item = qobject_cast<TMyItemEdit *>(w)) {
        if (direction == 1) {
            item->SetValue(p[0] < item->ItemCount() ? p[0] : 0);
            w->setProperty(kLoaded, item->GetValue());
        } else if (item->GetValue() != w->property(kLoaded).toInt()) {
            p[0] = uint8_t(item->GetValue());
        }
    } else if (auto *spin = qobject_cast<QSpinBox *>(w)) {
        if (direction == 1) {
            spin->setValue(p[0]);
            w->setProperty(kLoaded, spin->value());
            w->setProperty(kRaw, int(p[0]));
        } else if (spin->value() != w->property(kLoaded).toInt()) {
            p[0] = uint8_t(spin->value());
        }
    } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
        if (direction == 1) {
            combo->setCurrentIndex(p[0] < combo->count() ? p[0] : -1);
            w->setProperty(kLoaded, combo->currentIndex());
        } else if (combo->currentIndex() >= 0 && combo->currentIndex() != w->property(kLoaded).toInt()) {
            p[0] = uint8_t(combo->currentIndex());
        }
    } else if (auto *check = qobject_cast<QCheckBox *>(w)) {
        if (direction == 1) {
            check->setChecked(p[0] != 0);
            w->setProperty(kLoaded, check->isChecked());
        } else if (check->isChecked() != w->property(kLoaded).toBool()) {
            p[0] = check->isChecked() ? 1 : 0;
        }
    }
}

} // namespace

void TfrmDvrEnv::BuildProgramPages()
{
    for (QLineEdit *e : {edtMasterOld, edtMasterNew, edtMasterRetype, edtSlaveOld, edtSlaveNew, edtSlaveRetype})
        e->installEventFilter(this);
    // Schedule: the hidden switch and the cells' click, double click and space key.
    if (QGridLayout *sche = PageGrid(this, "TabSche")) {
        auto *sw = new QCheckBox("SCHEDULE");
        sw->setObjectName("chkSchedule");
        sw->hide();
        controls_["chkSchedule"] = sw;
        sche->addWidget(sw, 20, 0);
        connect(sw, &QCheckBox::clicked, this, [this] { chkScheduleClick(); });
        for (TMyItemEdit *cell : cells_)
            cell->installEventFilter(this);
        // Two more hidden controls of the page: the mark toggle and a button that only looks
        // for the focused all-day switch.
        auto *toggle = new QPushButton("SCHEDULE RECORD ON/OFF");
        toggle->setObjectName("SpeedButton8");
        toggle->setAutoDefault(false);
        toggle->hide();
        controls_["SpeedButton8"] = toggle;
        sche->addWidget(toggle, 20, 1, 1, 8);
        connect(toggle, &QPushButton::clicked, this, [this] { SpeedButton8Click(); });
        auto *button1 = new QPushButton("Button1");
        button1->setObjectName("Button1");
        button1->setAutoDefault(false);
        button1->hide();
        controls_["Button1"] = button1;
        sche->addWidget(button1, 20, 9, 1, 4);
        connect(button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    }
    // TabRec: the audio channel items of the partner rule; every page set keeps the page hidden.
    if (QGridLayout *rec = PageGrid(this, "TabRec")) {
        QString audio[5] = {"-", "1", "2", "3", "4"};
        for (int ch = 0; ch < 16; ++ch) {
            auto *e = new TMyItemEdit;
            e->setObjectName(QString("edtAudioCh%1").arg(ch));
            e->SetItem(5, audio);
            e->setFixedWidth(40);
            controls_[e->objectName()] = e;
            rec->addWidget(new QLabel(QString("CH%1").arg(ch + 1)), ch / 4, (ch % 4) * 2);
            rec->addWidget(e, ch / 4, (ch % 4) * 2 + 1);
        }
        if (auto *page = findChild<QWidget *>("TabRec"))
            ShowTab(PageRecord, PageRecord->indexOf(page), false);
    }
    connect(PageRecord, &QTabWidget::currentChanged, this, [this](int page) {
        if (page >= 4 && page <= 6)
            PageRecordChange(page);
        else if (page == 0 && selectedCell_) // the schedule page: the selected hour takes the focus
            selectedCell_->setFocus();
    });
    confirm = [this](const QString &text) {
        return QMessageBox::question(this, windowTitle(), text) == QMessageBox::Yes;
    };
    // The control buttons; the form carries them hidden.
    if (QGridLayout *hdd = PageGrid(this, "TabHdd")) {
        struct Button {
            const char *name, *caption;
            void (TfrmDvrEnv::*click)();
        } const buttons[] = {{"btnDvrInit", "DVR INITIALIZE", &TfrmDvrEnv::btnDvrInitClick},
                             {"btnFixedHddInit", "FIXED HDD INIT", &TfrmDvrEnv::btnFixedHddInitClick},
                             {"btnBackupHddInit", "BACKUP HDD INIT", &TfrmDvrEnv::btnBackupHddInitClick},
                             {"SpeedButton1", "", &TfrmDvrEnv::SpeedButton1Click}};
        int col = 0;
        for (const Button &b : buttons) {
            auto *button = new QPushButton(b.caption);
            button->setObjectName(b.name);
            button->setAutoDefault(false);
            button->hide();
            hdd->addWidget(button, 90, col++);
            const auto click = b.click;
            connect(button, &QPushButton::clicked, this, [this, click] { (this->*click)(); });
        }
    }
    const QString sizes[3] = {"720x240", "720x480", "360x240"};
    const auto reg = [this](QWidget *w, const QString &name) {
        w->setObjectName(name);
        controls_[name] = w;
        return w;
    };
    const auto header = [this, &reg](QGridLayout *g, const QString &suffix, int row) {
        auto *prg = new QSpinBox;
        prg->setRange(0, 9); // program 10 is the recorder's own and never shown
        reg(prg, "edtRecPrg" + suffix);
        auto *type = new QComboBox;
        type->addItems({"SINGLE", "COMPLEX"});
        reg(type, "edtRecType" + suffix);
        auto *interval = new QSpinBox;
        interval->setRange(1, 60);
        reg(interval, "edtRecInterval" + suffix);
        g->addWidget(new QLabel("PROGRAM"), row, 0);
        g->addWidget(prg, row, 1);
        g->addWidget(new QLabel("TYPE"), row, 2);
        g->addWidget(type, row, 3);
        g->addWidget(new QLabel("INTERVAL"), row, 4);
        g->addWidget(interval, row, 5);
        connect(prg, &QSpinBox::valueChanged, this, [this, prg](int v) { edtRecPrgChange(prg, v); });
        connect(interval, &QSpinBox::valueChanged, this, [this] {
            if (!programLoading_)
                RecomputeBudgets();
        });
    };
    const auto item = [&reg](const QString &name, int count, const QString *items) {
        auto *e = new TMyItemEdit;
        e->SetItem(count, items);
        e->setFixedWidth(80);
        reg(e, name);
        return e;
    };
    const auto spin = [&reg](const QString &name, int max) {
        auto *s = new QSpinBox;
        s->setRange(0, max);
        reg(s, name);
        return s;
    };
    const auto check = [&reg](const QString &name) {
        auto *c = new QCheckBox;
        reg(c, name);
        return c;
    };
    const QString quality[3] = {"      LOW", "      FINE", "SUPERFINE"};
    QString pair[17];
    pair[0] = "-";
    for (int i = 1; i <= 16; ++i)
        pair[i] = QString::number(i);
    const auto columns = [](QGridLayout *g, int row, const QStringList &names) {
        for (int i = 0; i < names.size(); ++i)
            g->addWidget(new QLabel(names[i]), row, i + 1);
    };

    // Default pages.
    QGridLayout *rate = PageGrid(this, "TabFrameRate");
    QGridLayout *qual = PageGrid(this, "TabQuality");
    QGridLayout *event = PageGrid(this, "TabRecEvent");
    if (!rate || !qual || !event)
        return;
    header(rate, "", 0);
    columns(rate, 1, {"SIZE", "PAIR", "NORMAL", "EVENT", "COMPLEX"});
    columns(qual, 0, {"NORMAL", "EVENT", "PRE", "POST"});
    columns(event, 0, {"ALARM", "LOSS", "MOTION"});
    for (int ch = 0; ch < 16; ++ch) {
        const QString n = QString::number(ch);
        const QString caption = QString("CH%1").arg(ch + 1);
        rate->addWidget(new QLabel(caption), ch + 2, 0);
        auto *size = item("edtSize" + n, 3, sizes);
        auto *pairEdit = item("edtPairCh" + n, 17, pair);
        rate->addWidget(size, ch + 2, 1);
        rate->addWidget(pairEdit, ch + 2, 2);
        const char *rates[3] = {"edtSingleNormal", "edtSingleEvent", "edtComplexEvent"};
        for (int k = 0; k < 3; ++k) {
            QSpinBox *s = spin(rates[k] + n, 30);
            rate->addWidget(s, ch + 2, 3 + k);
            connect(s, &QSpinBox::valueChanged, this, [this] {
                if (!programLoading_)
                    RecomputeBudgets();
            });
        }
        connect(size, &QLineEdit::textChanged, this, [this, ch] {
            if (!programLoading_)
                edtSize0Change(ch);
        });
        connect(pairEdit, &QLineEdit::textChanged, this, [this] {
            if (!programLoading_)
                edtPairCh0Change(false);
        });
        qual->addWidget(new QLabel(caption), ch + 1, 0);
        qual->addWidget(item("edtQualityNormal" + n, 3, quality), ch + 1, 1);
        qual->addWidget(item("edtQualityEvent" + n, 3, quality), ch + 1, 2);
        QSpinBox *pre = spin("edtPreTime" + n, 5);
        qual->addWidget(pre, ch + 1, 3);
        qual->addWidget(spin("edtPostTime" + n, 60), ch + 1, 4);
        connect(pre, &QSpinBox::valueChanged, this, [this](int v) { edtPreTime0Change(v); });
        event->addWidget(new QLabel(caption), ch + 1, 0);
        event->addWidget(check("edtEventAlarm" + n), ch + 1, 1);
        event->addWidget(check("edtEventLoss" + n), ch + 1, 2);
        event->addWidget(check("edtEventMotion" + n), ch + 1, 3);
    }
    const auto label = [](QGridLayout *g, const QString &name, int row, int col) {
        auto *l = new QLabel("0");
        l->setObjectName(name);
        SetRed(l, false);
        g->addWidget(l, row, col);
        return l;
    };
    rate->addWidget(new QLabel("TOTAL"), 18, 0);
    label(rate, "lblSingle", 18, 3);
    label(rate, "lblComplex", 18, 5);
    rate->addWidget(new QLabel("LIMIT"), 19, 0);
    label(rate, "lblEvent", 19, 3);
    // The fixed rate lists of the four-channel recorder of variant 4.
    {
        auto *lists = new QWidget;
        lists->setObjectName("pnl4120");
        auto *g = new QGridLayout(lists);
        const char *kinds[3] = {"edt4120Normal", "edt4120Single", "edt4120Complex"};
        for (int k = 0; k < 3; ++k)
            for (int ch = 0; ch < 4; ++ch) {
                auto *c = new QComboBox;
                c->addItems({"1", "2", "5", "10", "30"});
                c->setProperty("Tag", k * 4 + ch);
                reg(c, QString(kinds[k]) + QString::number(ch));
                g->addWidget(c, ch, k);
                connect(c, &QComboBox::activated, this, [this, k, ch, c] {
                    static const char *const kTargets[3] = {"edtSingleNormal", "edtSingleEvent", "edtComplexEvent"};
                    if (auto *s = qobject_cast<QSpinBox *>(Control(QString(kTargets[k]) + QString::number(ch))))
                        s->setValue(c->currentText().toInt());
                });
            }
        lists->hide();
        rate->addWidget(lists, 20, 0, 1, 6);
    }

    // Variant pages: groups of 4 (first variant) or 8 (second variant, "Et" names).
    for (int v = 0; v < 2; ++v) {
        QGridLayout *g = PageGrid(this, v == 0 ? "TabRec2" : "TabRec3");
        if (!g)
            continue;
        const QString suffix = v == 0 ? "" : "Et";
        header(g, v == 0 ? "2" : "3", 0);
        columns(g, 1, {"SEL", "SIZE", "NORMAL", "SINGLE", "COMPLEX", "Q.NORMAL", "Q.EVENT", "PRE", "POST", "ALARM",
                       "LOSS", "MOTION"});
        const int groupSize = v == 0 ? 4 : 8;
        for (int ch = 0; ch < 16; ++ch) {
            const QString n = QString::number(ch) + suffix;
            const int row = ch + 2 + ch / groupSize;
            g->addWidget(new QLabel(QString("CH%1").arg(ch + 1)), row, 0);
            g->addWidget(item("edtChSel" + n, 17, pair), row, 1);
            auto *size = item("edtMpSize" + n, 3, sizes);
            g->addWidget(size, row, 2);
            if (ch % groupSize == 0)
                connect(size, &QLineEdit::textChanged, this, [this, ch] {
                    if (!programLoading_)
                        edtMpSize0Change(ch);
                });
            const char *rates[3] = {"edtNormal", "edtSingle", "edtComplex"};
            for (int k = 0; k < 3; ++k) {
                QSpinBox *s = spin(rates[k] + n, 30);
                s->setProperty("Tag", ch);
                g->addWidget(s, row, 3 + k);
                if (k != 1) // the single rate takes no part in the group budget
                    connect(s, &QSpinBox::valueChanged, this, [this, ch] {
                        if (!programLoading_)
                            RecomputeGroup(ch / groupSize_);
                    });
            }
            g->addWidget(item("edtQyNormal" + n, 3, quality), row, 6);
            g->addWidget(item("edtQyEvent" + n, 3, quality), row, 7);
            QSpinBox *pre = spin("edtMpPre" + n, 5);
            connect(pre, &QSpinBox::valueChanged, this, [this](int value) { edtPreTime0Change(value); });
            g->addWidget(pre, row, 8);
            g->addWidget(spin("edtMpPost" + n, 60), row, 9);
            g->addWidget(check("edtMpAlarm" + n), row, 10);
            g->addWidget(check("edtMpLoss" + n), row, 11);
            g->addWidget(check("edtMpMotion" + n), row, 12);
        }
        for (int grp = 0; grp < 16 / groupSize; ++grp) {
            const int row = 2 + 16 + 16 / groupSize + grp;
            g->addWidget(new QLabel(QString("GROUP %1").arg(grp + 1)), row, 0);
            label(g, QString("lblMpNormal%1%2").arg(suffix).arg(grp), row, 3);
            // The first variant's groups show the recorder's frame budget under the single rates.
            if (v == 0)
                label(g, QString("lblMpSingle%1").arg(grp), row, 4);
            label(g, QString("lblMpComplex%1%2").arg(suffix).arg(grp), row, 5);
        }
    }
}

void TfrmDvrEnv::ApplyProgramPageSet()
{
    const bool variantPages = UsesVariantPages();
    groupSize_ = variant_ == 1 ? 4 : variantPages ? 8 : 1;
    groupCount_ = variant_ == 1 ? 4 : variantPages ? 2 : PageChannels();
    const auto show = [this](const char *page, bool on) {
        if (auto *w = findChild<QWidget *>(page))
            ShowTab(PageRecord, PageRecord->indexOf(w), on);
    };
    show("TabRec", false);
    show("TabRec2", variant_ == 1);
    show("TabRec3", variant_ == 2 && UsesVariantPages());
    for (const char *p : {"TabFrameRate", "TabQuality", "TabRecEvent"})
        show(p, !variantPages);
    // The six-cell layouts exist for every variant but 0.
    for (const char *name : {"chkLive6CDisplay", "chkLive6BDisplay"})
        if (QWidget *w = Control(name))
            w->setEnabled(variant_ != 0);
    for (int i = 0; i < 6; ++i)
        for (const char *fam : {"edtMulti6B", "edtMulti6C"})
            if (QWidget *w = Control(QString(fam) + QString::number(i)))
                w->setEnabled(variant_ != 0);
    if (auto *lists = findChild<QWidget *>("pnl4120"))
        lists->setVisible(variant_ == 4 && PageChannels() == 4);
    // Only variant 0 lets the interval be edited; the others keep 1 (bytes stay as loaded).
    for (const char *name : {"edtRecInterval", "edtRecInterval2", "edtRecInterval3"})
        if (QWidget *w = Control(name))
            w->setEnabled(variant_ == 0);
}

bool TfrmDvrEnv::TransferRecordProgram(int direction) { return TransferRecordProgram(currentProgram_, direction); }

bool TfrmDvrEnv::TransferRecordProgram(int p, int direction)
{
    if (p < 0 || p >= kEnvProgramCount)
        return false;
    uint8_t *block = record_.data() + kEnvProgramOffset + kEnvProgramSize * p;
    const bool variantPages = UsesVariantPages();
    const QString set = variantPages ? (variant_ == 1 ? "2" : "3") : "";
    const std::string sfx = variant_ == 2 && variantPages ? "Et" : "";
    const auto at = [this](const std::string &family, int ch) { return Family(family)[size_t(ch)]; };
    if (direction == 1) {
        ApplyProgramPageSet();
        programLoading_ = true;
        if (auto *prg = qobject_cast<QSpinBox *>(Control("edtRecPrg" + set))) {
            const QSignalBlocker block(prg);
            prg->setValue(p);
        }
    }
    Bind(Control("edtRecType" + set), block + prg::kType, direction);
    Bind(Control("edtRecInterval" + set), block + prg::kInterval, direction);
    for (int ch = 0; ch < PageChannels(); ++ch) {
        if (variantPages) {
            Bind(at("edtChSel", ch), block + prg::kChSel + 4 * ch, direction);
            Bind(at("edtMpSize", ch), block + prg::kSize + ch, direction);
            Bind(at("edtQyNormal", ch), block + prg::kQualityNormal + ch, direction);
            Bind(at("edtQyEvent", ch), block + prg::kQualityEvent + ch, direction);
            Bind(at("edtNormal", ch), block + prg::kNormal + 2 * ch, direction);
            Bind(at("edtSingle", ch), block + prg::kSingleEvent + 2 * ch, direction);
            Bind(at("edtComplex", ch), block + prg::kComplex + 2 * ch, direction);
            Bind(at("edtMpPost", ch), block + prg::kPostTime + ch, direction);
            Bind(at("edtMpAlarm", ch), block + prg::kAlarm + ch, direction);
            Bind(at("edtMpLoss", ch), block + prg::kLoss + ch, direction);
            Bind(at("edtMpMotion", ch), block + prg::kMotion + ch, direction);
        } else {
            Bind(at("edtSize", ch), block + prg::kSize + ch, direction);
            Bind(at("edtQualityNormal", ch), block + prg::kQualityNormal + ch, direction);
            Bind(at("edtQualityEvent", ch), block + prg::kQualityEvent + ch, direction);
            Bind(at("edtPairCh", ch), block + prg::kPair + ch, direction);
            Bind(at("edtSingleNormal", ch), block + prg::kNormal + 2 * ch, direction);
            Bind(at("edtSingleEvent", ch), block + prg::kSingleEvent + 2 * ch, direction);
            Bind(at("edtComplexEvent", ch), block + prg::kComplex + 2 * ch, direction);
            Bind(at("edtPostTime", ch), block + prg::kPostTime + ch, direction);
            Bind(at("edtEventAlarm", ch), block + prg::kAlarm + ch, direction);
            Bind(at("edtEventLoss", ch), block + prg::kLoss + ch, direction);
            Bind(at("edtEventMotion", ch), block + prg::kMotion + ch, direction);
            if (direction == 1)
                if (QWidget *pairEdit = at("edtPairCh", ch))
                    pairEdit->setEnabled(ItemOf(at("edtSize", ch)) == kSizeHalf);
        }
    }
    // The pre-event byte is shared by every channel and page set: every pre edit shows it, and
    // an edit on any of them is what gets stored.
    const char *preFamilies[3] = {"edtPreTime", "edtMpPre", nullptr};
    if (direction == 1) {
        preLoaded_ = block[prg::kPreTime];
        edtPreTime0Change(block[prg::kPreTime]);
        for (const char *fam : {"edtPreTime", "edtMpPre"})
            for (QWidget *w : Family(fam))
                if (w)
                    w->setProperty(kLoaded, SpinOf(w));
        if (variant_ == 4 && PageChannels() == 4) {
            // Each list picks the item of its channel's loaded rate; no match leaves it.
            static const char *const kPairs[3][2] = {{"edt4120Normal", "edtSingleNormal"},
                                                     {"edt4120Single", "edtSingleEvent"},
                                                     {"edt4120Complex", "edtComplexEvent"}};
            for (const auto &pair : kPairs)
                for (int ch = 0; ch < 4; ++ch)
                    if (auto *c = qobject_cast<QComboBox *>(Control(QString(pair[0]) + QString::number(ch)))) {
                        const int i = c->findText(QString::number(SpinOf(Control(QString(pair[1]) + QString::number(ch)))));
                        if (i >= 0)
                            c->setCurrentIndex(i);
                    }
        }
        programLoading_ = false;
        if (variantPages) {
            for (int leader = 0; leader < 16; leader += groupSize_)
                edtMpSize0Change(leader);
        } else {
            edtPairCh0Change(false);
        }
        return true;
    }
    for (const char *const *fam = preFamilies; *fam; ++fam)
        for (int ch = 0; ch < PageChannels(); ++ch)
            if (QWidget *w = at(*fam, ch))
                if (SpinOf(w) != w->property(kLoaded).toInt()) {
                    block[prg::kPreTime] = uint8_t(SpinOf(w));
                    break;
                }
    return CheckProgram();
}

bool TfrmDvrEnv::CheckProgram()
{
    const auto refuse = [this](const char *text) {
        if (showMessage)
            showMessage(text);
        return false;
    };
    if (UsesVariantPages()) {
        const QString sfx = variant_ == 1 ? "" : "Et";
        for (int g = 0; g < 16 / groupSize_; ++g) {
            RecomputeGroup(g);
            for (const char *fam : {"lblMpNormal", "lblMpComplex"})
                if (auto *l = findChild<QLabel *>(QString(fam) + sfx + QString::number(g)); l && l->property("red").toBool())
                    return refuse("Frame Error");
        }
        return true;
    }
    RecomputeBudgets();
    for (const char *name : {"lblSingle", "lblComplex"})
        if (auto *l = findChild<QLabel *>(name); l && l->property("red").toBool())
            return refuse("Frame Error");
    if (variant_ == 4 && PageChannels() == 4)
        return true;
    int sizes[16] = {}, pairs[16] = {};
    bool shown[16] = {};
    for (int ch = 0; ch < PageChannels(); ++ch) {
        sizes[ch] = ItemOf(Family("edtSize")[size_t(ch)]);
        pairs[ch] = ItemOf(Family("edtPairCh")[size_t(ch)]);
        QWidget *r = Family("edtSingleNormal")[size_t(ch)];
        shown[ch] = r && !r->isHidden();
    }
    if (!PairsValid(sizes, pairs, shown, PageChannels()))
        return refuse("Pair Channel Error");
    return true;
}

void TfrmDvrEnv::edtRecPrgChange(QWidget *spin, int value)
{
    DebugPrint("RecPrg Changed: %d, %d\n", currentProgram_, value);
    auto *s = qobject_cast<QSpinBox *>(spin);
    if (!s || value == currentProgram_)
        return;
    if (!loaded_) {
        currentProgram_ = value;
        return;
    }
    if (!TransferRecordProgram(currentProgram_, 0)) {
        // Refused: the spin edit goes back without asking for the switch again.
        const QSignalBlocker block(s);
        s->setValue(currentProgram_);
        return;
    }
    currentProgram_ = value;
    TransferRecordProgram(currentProgram_, 1);
}

void TfrmDvrEnv::RecomputeBudgets()
{
    if (UsesVariantPages())
        return;
    int rates[16] = {}, complexRates[16] = {}, sizes[16] = {};
    bool counted[16] = {}, complexCounted[16] = {};
    const auto counts = [](QWidget *w) { return w && !w->isHidden() && w->isEnabled(); };
    for (int ch = 0; ch < PageChannels(); ++ch) {
        QWidget *normal = Family("edtSingleNormal")[size_t(ch)];
        QWidget *complex = Family("edtComplexEvent")[size_t(ch)];
        rates[ch] = SentOf(normal);
        complexRates[ch] = SentOf(complex);
        counted[ch] = counts(normal);
        complexCounted[ch] = counts(complex);
        sizes[ch] = ItemOf(Family("edtSize")[size_t(ch)]);
    }
    const int limit = FrameLimit(SpinOf(Control("edtRecInterval")), frameBudget_);
    const int single = FrameSum(rates, sizes, counted, PageChannels());
    const int complex = FrameSum(complexRates, sizes, complexCounted, PageChannels());
    if (auto *l = findChild<QLabel *>("lblSingle")) {
        l->setText(QString::number(single));
        SetRed(l, single > limit);
    }
    if (auto *l = findChild<QLabel *>("lblComplex")) {
        l->setText(QString::number(complex));
        SetRed(l, complex > limit);
    }
    if (auto *l = findChild<QLabel *>("lblEvent"))
        l->setText(QString::number(limit));
}

void TfrmDvrEnv::RecomputeGroup(int group)
{
    if (!UsesVariantPages() || group < 0 || group * groupSize_ >= 16)
        return;
    const QString sfx = variant_ == 1 ? "" : "Et";
    const int first = group * groupSize_;
    const int leaderSize = ItemOf(Family("edtMpSize")[size_t(first)]);
    for (const char *fam : {"edtNormal", "edtComplex"}) {
        int rates[16] = {};
        bool shown[16] = {};
        for (int i = 0; i < groupSize_; ++i) {
            QWidget *w = Family(fam)[size_t(first + i)];
            rates[i] = SentOf(w);
            shown[i] = w && !w->isHidden() && first + i < ownChannels_;
        }
        const int sum = GroupSum(rates, shown, groupSize_, leaderSize);
        const QString name = QString(fam == std::string("edtNormal") ? "lblMpNormal" : "lblMpComplex") + sfx + QString::number(group);
        if (auto *l = findChild<QLabel *>(name)) {
            l->setText(QString::number(sum));
            SetRed(l, GroupOver(sum));
        }
    }
}

void TfrmDvrEnv::edtSize0Change(int ch)
{
    if (UsesVariantPages() || ch < 0 || ch >= 16)
        return;
    const int size = ItemOf(Family("edtSize")[size_t(ch)]);
    if (auto *pairEdit = qobject_cast<TMyItemEdit *>(Family("edtPairCh")[size_t(ch)])) {
        const QSignalBlocker block(pairEdit);
        pairEdit->SetValue(0);
    }
    // Every channel records at one picture size.
    const int n = variant_ == 2 ? 16 : PageChannels();
    for (int k = 0; k < n; ++k) {
        if (auto *e = qobject_cast<TMyItemEdit *>(Family("edtSize")[size_t(k)])) {
            const QSignalBlocker block(e);
            e->SetValue(size);
        }
        if (QWidget *pairEdit = Family("edtPairCh")[size_t(k)])
            pairEdit->setEnabled(k < PageChannels() && size == kSizeHalf);
    }
    edtPairCh0Change(true);
}

void TfrmDvrEnv::edtPairCh0Change(bool automatic)
{
    int sizes[16] = {}, pairs[16] = {};
    for (int ch = 0; ch < PageChannels(); ++ch) {
        sizes[ch] = ItemOf(Family("edtSize")[size_t(ch)]);
        pairs[ch] = ItemOf(Family("edtPairCh")[size_t(ch)]);
    }
    if (automatic) {
        const auto autoPairs = AutoPairs(sizes, PageChannels());
        for (int ch = 0; ch < PageChannels(); ++ch) {
            pairs[ch] = autoPairs[size_t(ch)];
            if (auto *e = qobject_cast<TMyItemEdit *>(Family("edtPairCh")[size_t(ch)]); e && sizes[ch] == kSizeHalf) {
                const QSignalBlocker block(e);
                e->SetValue(pairs[ch]);
            }
        }
    }
    const uint32_t partners = PartnerSet(sizes, pairs, PageChannels());
    for (int ch = 0; ch < 16; ++ch)
        for (const char *fam : kPartnerHidden)
            if (QWidget *w = Family(fam)[size_t(ch)])
                w->setHidden(ch < PageChannels() && (partners & (1u << ch)));
    RecomputeBudgets();
}

void TfrmDvrEnv::edtMpSize0Change(int leader)
{
    if (!UsesVariantPages() || leader < 0 || leader >= 16)
        return;
    const int group = leader / groupSize_;
    const int first = group * groupSize_;
    const bool half = ItemOf(Family("edtMpSize")[size_t(first)]) == kSizeHalf;
    for (int i = 1; i < groupSize_; i += 2)
        for (const char *fam : kVariantHidden)
            if (QWidget *w = Family(fam)[size_t(first + i)])
                w->setHidden(half);
    RecomputeGroup(group);
}

void TfrmDvrEnv::edtPreTime0Change(int value)
{
    // Shown alike everywhere; the store looks for the edit that differs from what was loaded.
    for (const char *fam : {"edtPreTime", "edtMpPre"})
        for (const char *set : {"", "Et"}) {
            for (int ch = 0; ch < 16; ++ch) {
                auto *s = qobject_cast<QSpinBox *>(Control(QString(fam) + QString::number(ch) + set));
                if (s && s->value() != value)
                    s->setValue(value); // its own change finds every edit equal and stops
            }
            if (std::string(fam) == "edtPreTime")
                break;
        }
}

void TfrmDvrEnv::edtMon0Click(TMyItemEdit *cell)
{
    if (!cell)
        return;
    SelectCell(cell);
    if (auto *sw = qobject_cast<QCheckBox *>(Control("chkSchedule")))
        sw->setChecked(cell->property("Tag").toInt() == 1);
}

void TfrmDvrEnv::edtMon0DblClick(TMyItemEdit *cell)
{
    edtMon0Click(cell);
    const int page = variant_ == 1 ? 2 : (variant_ == 2 && UsesVariantPages()) ? 3 : 4;
    if (PageRecord->currentIndex() != page) {
        PageRecord->setCurrentIndex(page); // the page change picks the program
        if (page < 4)
            PageRecordChange(page);
    } else {
        PageRecordChange(page);
    }
}

void TfrmDvrEnv::chkScheduleClick()
{
    auto *sw = qobject_cast<QCheckBox *>(Control("chkSchedule"));
    if (!sw)
        return;
    for (int d = 0; d < 7; ++d)
        if (QWidget *all = Control(QString("edtAll%1").arg(d)); all && all->hasFocus()) {
            for (int h = 0; h < 24; ++h) {
                TMyItemEdit *c = cells_[size_t(d * 24 + h)];
                c->setProperty("Tag", c->property("Tag").toInt() == 1 ? 0 : 1);
            }
            return;
        }
    if (selectedCell_)
        selectedCell_->setProperty("Tag", sw->isChecked() ? 1 : 0);
}

void TfrmDvrEnv::SpeedButton8Click()
{
    // As the schedule switch, but the selected hour's mark is toggled rather than copied.
    for (int d = 0; d < 7; ++d)
        if (QWidget *all = Control(QString("edtAll%1").arg(d)); all && all->hasFocus()) {
            for (int h = 0; h < 24; ++h) {
                TMyItemEdit *c = cells_[size_t(d * 24 + h)];
                c->setProperty("Tag", c->property("Tag").toInt() == 1 ? 0 : 1);
            }
            return;
        }
    if (!selectedCell_)
        return;
    const int tag = selectedCell_->property("Tag").toInt() == 1 ? 0 : 1;
    selectedCell_->setProperty("Tag", tag);
    if (auto *sw = qobject_cast<QCheckBox *>(Control("chkSchedule")))
        sw->setChecked(tag == 1);
}

QWidget *TfrmDvrEnv::Button1Click() const
{
    for (int d = 0; d < 7; ++d)
        if (QWidget *all = Control(QString("edtAll%1").arg(d)); all && all->hasFocus())
            return all;
    return nullptr;
}

void TfrmDvrEnv::PageRecordChange(int page)
{
    (void)page;
    const bool on = selectedCell_ && selectedCell_->GetValue() == 0;
    QString name = "edtRecPrg";
    int program = 6;
    if (on) {
        name = variant_ == 1 ? "edtRecPrg2" : (variant_ == 2 && UsesVariantPages()) ? "edtRecPrg3" : "edtRecPrg";
        program = name == "edtRecPrg" ? 2 : 0;
        if (auto *sw = qobject_cast<QCheckBox *>(Control("chkSchedule")))
            sw->setChecked(selectedCell_->property("Tag").toInt() == 1);
    }
    if (auto *spin = qobject_cast<QSpinBox *>(Control(name)))
        spin->setValue(program); // switches through edtRecPrgChange
}

bool TfrmDvrEnv::edtMasterNewExit(QLineEdit *edit)
{
    // Empty means "no change"; a partly typed password must be completed.
    if (!edit || edit->text().isEmpty() || edit->text().size() >= 8)
        return true;
    if (showMessage)
        showMessage("Password Must Input 8 bytes");
    edit->setFocus();
    return false;
}

bool TfrmDvrEnv::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    const bool password = edit && (edit == edtMasterOld || edit == edtMasterNew || edit == edtMasterRetype ||
                                   edit == edtSlaveOld || edit == edtSlaveNew || edit == edtSlaveRetype);
    if (password && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        // Control keys (backspace, arrows, tab) carry no printable text and pass.
        if (!text.isEmpty() && text[0].isPrint() && !(text[0] >= '0' && text[0] <= '9')) {
            if (showMessage)
                showMessage("Must Input Number 0~9");
            return true;
        }
    }
    if (auto *cell = qobject_cast<TMyItemEdit *>(watched); cell && cell->objectName().startsWith("edtMon")) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::FocusIn)
            edtMon0Click(cell);
        else if (event->type() == QEvent::MouseButtonDblClick)
            edtMon0DblClick(cell);
        else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
            if (auto *sw = qobject_cast<QCheckBox *>(Control("chkSchedule"))) {
                sw->setChecked(!sw->isChecked());
                chkScheduleClick();
            }
            return true;
        }
    }
    if (edit && event->type() == QEvent::FocusIn && edit->objectName().startsWith("edtTitleCh"))
        edtTitleCh0Click(edit->property("Tag").toInt());
    if (password && event->type() == QEvent::FocusOut && (edit == edtMasterNew || edit == edtSlaveNew))
        edtMasterNewExit(edit);
    return QDialog::eventFilter(watched, event);
}

} // namespace strandel

namespace strandel {

bool TfrmDvrEnv::HddPresent(const std::vector<uint8_t> &map, int slot)
{
    return slot >= 0 && size_t(slot / 8) < map.size() && (map[size_t(slot / 8)] & (0x80 >> (slot % 8))) != 0;
}

void TfrmDvrEnv::ApplyHddMap()
{
    for (int slot = 0; slot < 45; ++slot) {
        const QString name = slot < 5 ? QString("edtHddMode%1").arg(slot) : QString("edtExtHddMode%1").arg(slot - 5);
        // Each slot is looked for on its own page: the bays on TabHdd, external disks ten to a page.
        auto *page = findChild<QWidget *>(slot < 5 ? QString("TabHdd") : QString("TabExtBay%1").arg((slot - 5) / 10));
        auto *combo = page ? page->findChild<QComboBox *>(name) : nullptr;
        if (!combo)
            continue;
        const QSignalBlocker block(combo);
        // No map (yet) from this recorder: every slot stays open, as before the first map.
        if (hddMap_.empty()) {
            combo->setEnabled(true);
            continue;
        }
        combo->setPlaceholderText("NO HDD");
        if (HddPresent(hddMap_, slot)) {
            combo->setEnabled(true);
            // A disk that came back shows what was loaded again.
            if (combo->currentIndex() < 0)
                combo->setCurrentIndex(combo->property("envLoaded").isValid() ? combo->property("envLoaded").toInt() : -1);
        } else {
            // Nothing chosen: the store leaves the slot's byte as it came.
            combo->setCurrentIndex(-1);
            combo->setEnabled(false);
        }
    }
}

void TfrmDvrEnv::SendControlWord(uint16_t word)
{
    if (!dvr_)
        return;
    if (word <= 2) {
        static const char *kWhat[3] = {"Initialize the recorder", "Initialize the fixed disks",
                                       "Initialize the backup disks"};
        const QString text = QString(kWhat[word]) + "? What they hold may be lost.";
        if (!confirm || !confirm(text))
            return;
    }
    const uint8_t payload[2] = {uint8_t(word & 0xFF), uint8_t(word >> 8)};
    dvr_->SendCommand(DvrCmdControl, payload, 2);
}

} // namespace strandel
