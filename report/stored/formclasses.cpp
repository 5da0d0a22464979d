#include "report/stored/formclasses.h"

#include <map>
#include <set>
#include <vector>

#include <QFile>
#include <QSaveFile>
#include <QSqlDatabase>

#include "report/bands/controller.h"
#include "report/bands/controllerband.h"
#include "report/bands/owner.h"
#include "report/bands/pagorra.h"
#include "report/data/dataset_sql.h"
#include "report/stored/formclasses_internal.h"

namespace strandel {

using Kind = TPgxFormKind;

namespace {

// ---- enumerations by name

constexpr const char *BandTypeNames[] = {"rbTitle", "rbPageHeader", "rbDetail", "rbPageFooter", "rbSummary",
    "rbGroupHeader", "rbGroupFooter", "rbSubDetail", "rbColumnHeader", "rbOverlay", "rbChild"};
constexpr const char *PaperNames[] = {"Default", "Letter", "LetterSmall", "Tabloid", "Ledger", "Legal", "Statement",
    "Executive", "A3", "A4", "A4Small", "A5", "B4", "B5", "Folio", "Quarto", "pgx10X14", "pgx11X17", "Note", "Env9",
    "Env10", "Env11", "Env12", "Env14", "CSheet", "DSheet", "ESheet", "Custom"};
constexpr const char *OrientationNames[] = {"poPortrait", "poLandscape"};
constexpr const char *PrintOrderNames[] = {"ColByCol", "RowByRow"};
constexpr const char *UnitNames[] = {"MM", "Inches", "Pixels", "Characters", "Native"};


// Lengths in tenths of a millimetre: no page, band or printable goes beyond ten metres.
constexpr double MaxLength = 100000;

bool Lengths(const TPgxFormValue &v, size_t count, double min, std::vector<double> &out)
{
    if (!v.ToFloats(out) || out.size() != count)
        return false;
    for (double d : out)
        if (!(d >= min && d <= MaxLength))
            return false;
    return true;
}

bool Color(const TPgxFormValue &v, QRgb &out)
{
    int64_t c;
    if (!v.ToInt(c, 0, 0xffffffffLL))
        return false;
    out = QRgb(c);
    return true;
}

QString Bad(const TPgxFormProperty &p) { return QStringLiteral("bad value of %1").arg(p.name); }

// ---- frames

void WriteFrame(TPgxFrame &f, TPgxFormNode &n)
{
    n.Add("Frame.Color", TPgxFormValue::Int(f.Color()));
    n.Add("Frame.DrawTop", TPgxFormValue::Bool(f.DrawTop()));
    n.Add("Frame.DrawBottom", TPgxFormValue::Bool(f.DrawBottom()));
    n.Add("Frame.DrawLeft", TPgxFormValue::Bool(f.DrawLeft()));
    n.Add("Frame.DrawRight", TPgxFormValue::Bool(f.DrawRight()));
    n.Add("Frame.Style", PgxEnumValue(PgxPenStyleNames, int(f.Style())));
    n.Add("Frame.Width", TPgxFormValue::Int(f.Width()));
}

// True when taken; error set when the value is bad.
bool ReadFrame(TPgxFrame &f, const TPgxFormProperty &p, QString &error)
{
    static const char *const sides[] = {"Frame.DrawTop", "Frame.DrawBottom", "Frame.DrawLeft", "Frame.DrawRight"};
    for (int i = 0; i < 4; ++i)
        if (p.name.compare(QLatin1String(sides[i]), Qt::CaseInsensitive) == 0) {
            bool b;
            if (!p.value.ToBool(b))
                error = Bad(p);
            else
                f.SetValue(i, b);
            return true;
        }
    if (p.name.compare(QLatin1String("Frame.Color"), Qt::CaseInsensitive) == 0) {
        QRgb c;
        if (!Color(p.value, c))
            error = Bad(p);
        else
            f.SetColor(c);
        return true;
    }
    if (p.name.compare(QLatin1String("Frame.Style"), Qt::CaseInsensitive) == 0) {
        int s;
        if (!PgxEnumFrom(p.value, PgxPenStyleNames, s))
            error = Bad(p);
        else
            f.SetStyle(PgxPenStyle(s));
        return true;
    }
    if (p.name.compare(QLatin1String("Frame.Width"), Qt::CaseInsensitive) == 0) {
        int64_t w;
        if (!p.value.ToInt(w, -1, 100))
            error = Bad(p);
        else
            f.SetWidth(int(w));
        return true;
    }
    return false;
}

bool Is(const TPgxFormProperty &p, const char *name)
{
    return p.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// ---- data sets over a database file

// Holds a connection of its own, removed once the data set over it is gone.
struct SqlConnection {
    explicit SqlConnection(const QString &database)
    {
        static int counter = 0;
        connection = QStringLiteral("PgxForm%1").arg(++counter);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(database);
        // A report only reads; a missing file is not created.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    }
    ~SqlConnection() { QSqlDatabase::removeDatabase(connection); }
    QString connection;
};

class TStoredSqlDataSet : private SqlConnection, public report::PgxSqlDataSet
{
public:
    TStoredSqlDataSet(const QString &name, const QString &database, const QString &sql, bool table)
        : SqlConnection(database),
          PgxSqlDataSet(name.toStdString(), QSqlDatabase::database(connection, false), sql.toStdString()),
          DatabaseName(database), Sql(sql), Table(table)
    {
    }
    ~TStoredSqlDataSet() override { Close(); }
    bool Open() override
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (!db.isOpen() && !db.open())
            return false;
        return PgxSqlDataSet::Open();
    }
    const QString DatabaseName, Sql;
    const bool Table;
};

TPgxFormClass SqlClass(const char *name, bool table)
{
    TPgxFormClass c;
    c.className = QLatin1String(name);
    c.kind = Kind::DataSet;
    c.type = typeid(TStoredSqlDataSet);
    c.create = [table](TPgxOwner &owner, const TPgxFormObject &, const TPgxFormNode &node) {
        QString database, sql;
        for (const TPgxFormProperty &p : node.properties) {
            if (Is(p, "DatabaseName"))
                p.value.ToString(database);
            else if (table && Is(p, "TableName"))
                p.value.ToString(sql);
            else if (!table && Is(p, "SQL.Strings")) {
                std::vector<std::string> lines;
                if (p.value.ToStrings(lines))
                    for (const std::string &l : lines)
                        sql += QString::fromStdString(l) + QLatin1Char('\n');
            }
        }
        TPgxFormObject o;
        o.dataSet = owner.AddDataSet(std::make_unique<TStoredSqlDataSet>(node.name, database, sql.trimmed(), table),
                                     table ? QStringLiteral("TTable") : QStringLiteral("TQuery"));
        return o;
    };
    c.write = [table](const TPgxFormObject &o, TPgxFormNode &n) {
        auto *ds = dynamic_cast<TStoredSqlDataSet *>(o.dataSet);
        if (!ds)
            return;
        n.Add("DatabaseName", TPgxFormValue::Str(ds->DatabaseName));
        if (table)
            n.Add("TableName", TPgxFormValue::Str(ds->Sql));
        else {
            std::vector<std::string> lines;
            for (const QString &l : ds->Sql.split(QLatin1Char('\n')))
                lines.push_back(l.toStdString());
            n.Add("SQL.Strings", TPgxFormValue::Strings(lines));
        }
    };
    c.read = [table](const TPgxFormObject &, const TPgxFormProperty &p, QString &error) {
        // Taken when the data set was made; only checked here.
        QString s;
        std::vector<std::string> l;
        if (Is(p, "DatabaseName") || (table && Is(p, "TableName"))) {
            if (!p.value.ToString(s))
                error = Bad(p);
            return true;
        }
        if (!table && Is(p, "SQL.Strings")) {
            if (!p.value.ToStrings(l))
                error = Bad(p);
            return true;
        }
        return false;
    };
    return c;
}

// ---- bands

TPgxFormClass BandClass(const char *name, std::type_index type, TPgxBandType made)
{
    TPgxFormClass c;
    c.className = QLatin1String(name);
    c.kind = Kind::Band;
    c.type = type;
    c.create = [made](TPgxOwner &, const TPgxFormObject &parent, const TPgxFormNode &) {
        TPgxFormObject o;
        if (parent.report)
            o.band = parent.report->CreateBand(made);
        return o;
    };
    return c;
}

struct Registry {
    std::vector<TPgxFormClass> classes;
};

Registry MakeRegistry()
{
    Registry r;
    TPgxFormClass pagorra;
    pagorra.className = QStringLiteral("TPagorra");
    pagorra.kind = Kind::Report;
    pagorra.type = typeid(TPagorra);
    pagorra.create = [](TPgxOwner &owner, const TPgxFormObject &, const TPgxFormNode &) {
        TPgxFormObject o;
        o.report = owner.AddReport(std::make_unique<TPagorra>(), QStringLiteral("TPagorra"));
        return o;
    };
    r.classes.push_back(pagorra);

    r.classes.push_back(BandClass("TPgxBand", typeid(TPgxBand), TPgxBandType::rbDetail));

    TPgxFormClass group = BandClass("TPgxGroup", typeid(TPgxGroup), TPgxBandType::rbGroupHeader);
    group.create = [](TPgxOwner &, const TPgxFormObject &parent, const TPgxFormNode &) {
        TPgxFormObject o;
        if (parent.report)
            o.band = parent.report->CreateGroup();
        return o;
    };
    group.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto *g = static_cast<TPgxGroup *>(o.band);
        n.Add("Expression", TPgxFormValue::Str(QString::fromStdString(g->Expression)));
        n.Add("ReprintOnNewPage", TPgxFormValue::Bool(g->ReprintOnNewPage));
    };
    group.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &error) {
        auto *g = static_cast<TPgxGroup *>(o.band);
        QString s;
        if (Is(p, "Expression")) {
            if (!p.value.ToString(s))
                error = Bad(p);
            g->Expression = s.toStdString();
            return true;
        }
        if (Is(p, "ReprintOnNewPage")) {
            if (!p.value.ToBool(g->ReprintOnNewPage))
                error = Bad(p);
            return true;
        }
        return false;
    };
    r.classes.push_back(group);
    TPgxFormClass sub = BandClass("TPgxSubDetail", typeid(TPgxSubDetail), TPgxBandType::rbSubDetail);
    sub.create = [](TPgxOwner &, const TPgxFormObject &parent, const TPgxFormNode &) {
        TPgxFormObject o;
        if (parent.report)
            o.band = parent.report->AddBand(std::make_unique<TPgxSubDetail>());
        return o;
    };
    sub.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto *d = static_cast<TPgxSubDetail *>(o.band);
        n.Add("PrintBefore", TPgxFormValue::Bool(d->PrintBefore()));
        n.Add("PrintIfEmpty", TPgxFormValue::Bool(d->PrintIfEmpty()));
        if (d->DataSet())
            n.Add("DataSet", TPgxFormValue::Str(QString::fromStdString(d->DataSet()->Name())));
        if (d->HeaderBand() && !d->HeaderBand()->Name().isEmpty())
            n.Add("HeaderBand", TPgxFormValue::Str(d->HeaderBand()->Name()));
        if (d->FooterBand() && !d->FooterBand()->Name().isEmpty())
            n.Add("FooterBand", TPgxFormValue::Str(d->FooterBand()->Name()));
    };
    sub.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        auto *d = static_cast<TPgxSubDetail *>(o.band);
        bool b;
        if (Is(p, "PrintBefore") || Is(p, "PrintIfEmpty")) {
            if (!p.value.ToBool(b))
                why = Bad(p);
            else if (Is(p, "PrintBefore"))
                d->SetPrintBefore(b);
            else
                d->SetPrintIfEmpty(b);
            return true;
        }
        return false; // the references go with the common ones
    };
    r.classes.push_back(sub);
    TPgxFormClass loop = BandClass("TPgxLoopBand", typeid(TPgxLoopBand), TPgxBandType::rbSubDetail);
    loop.create = [](TPgxOwner &, const TPgxFormObject &parent, const TPgxFormNode &) {
        TPgxFormObject o;
        if (parent.report)
            o.band = parent.report->AddBand(std::make_unique<TPgxLoopBand>());
        return o;
    };
    loop.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto *l = static_cast<TPgxLoopBand *>(o.band);
        n.Add("PrintBefore", TPgxFormValue::Bool(l->PrintBefore()));
        n.Add("PrintCount", TPgxFormValue::Int(l->PrintCount()));
    };
    loop.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        auto *l = static_cast<TPgxLoopBand *>(o.band);
        bool b;
        int64_t i;
        if (Is(p, "PrintBefore")) {
            if (!p.value.ToBool(b)) why = Bad(p); else l->SetPrintBefore(b);
            return true;
        }
        if (Is(p, "PrintCount")) {
            // Each count prints the band once: a form asks for no more than a long report would.
            if (!p.value.ToInt(i, 0, 1000000)) why = Bad(p); else l->SetPrintCount(int(i));
            return true;
        }
        return false;
    };
    r.classes.push_back(loop);
    TPgxFormClass strings = BandClass("TPgxStringsBand", typeid(TPgxStringsBand), TPgxBandType::rbSubDetail);
    strings.create = [](TPgxOwner &, const TPgxFormObject &parent, const TPgxFormNode &) {
        TPgxFormObject o;
        if (parent.report)
            o.band = parent.report->AddBand(std::make_unique<TPgxStringsBand>());
        return o;
    };
    strings.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto *sb = static_cast<TPgxStringsBand *>(o.band);
        n.Add("PrintBefore", TPgxFormValue::Bool(sb->PrintBefore()));
        std::vector<std::string> items;
        for (const QString &it : sb->Items())
            items.push_back(it.toStdString());
        n.Add("Items.Strings", TPgxFormValue::Strings(items));
    };
    strings.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        auto *sb = static_cast<TPgxStringsBand *>(o.band);
        bool b;
        std::vector<std::string> items;
        if (Is(p, "PrintBefore")) {
            if (!p.value.ToBool(b)) why = Bad(p); else sb->SetPrintBefore(b);
            return true;
        }
        if (Is(p, "Items.Strings")) {
            if (!p.value.ToStrings(items))
                why = Bad(p);
            else {
                QStringList list;
                for (const std::string &it : items)
                    list << QString::fromStdString(it);
                sb->SetItems(list);
            }
            return true;
        }
        return false;
    };
    r.classes.push_back(strings);
    PgxAddPrintableFormClasses(r.classes);
    r.classes.push_back(SqlClass("TTable", true));
    r.classes.push_back(SqlClass("TQuery", false));
    r.classes.push_back(BandClass("TPgxChildBand", typeid(TPgxChildBand), TPgxBandType::rbChild));
    // The printable base itself: frames and colours only.
    TPgxFormClass printable;
    printable.className = QStringLiteral("TPgxPrintable");
    printable.kind = Kind::Printable;
    printable.type = typeid(TPgxPrintable);
    printable.create = [](TPgxOwner &, const TPgxFormObject &parent, const TPgxFormNode &) {
        TPgxFormObject o;
        if (parent.band)
            o.printable = parent.band->AddPrintable<TPgxPrintable>();
        else if (parent.report)
            o.printable = parent.report->AddPrintable<TPgxPrintable>();
        return o;
    };
    r.classes.push_back(printable);
    return r;
}

Registry &Reg()
{
    static Registry r = MakeRegistry();
    return r;
}

} // namespace

void PgxRegisterFormClass(TPgxFormClass cls)
{
    for (TPgxFormClass &c : Reg().classes)
        if (c.className.compare(cls.className, Qt::CaseInsensitive) == 0) {
            c = std::move(cls);
            return;
        }
    Reg().classes.push_back(std::move(cls));
}

const TPgxFormClass *PgxFindFormClass(const QString &className)
{
    for (const TPgxFormClass &c : Reg().classes)
        if (c.className.compare(className, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

const TPgxFormClass *PgxFindFormClass(std::type_index type)
{
    for (const TPgxFormClass &c : Reg().classes)
        if (c.type == type)
            return &c;
    return nullptr;
}

QStringList PgxRegisteredClasses()
{
    QStringList names;
    for (const TPgxFormClass &c : Reg().classes)
        names << c.className;
    return names;
}

// ---- writing

namespace {

void WriteReport(TCustomPagorra &r, TPgxFormNode &n)
{
    n.Add("ReportTitle", TPgxFormValue::Str(r.ReportTitle));
    n.Add("BackImageControl", TPgxFormValue::Str(r.BackImageControl));
    n.Add("Options", TPgxFormValue::Int(r.Options));
    n.Add("Tag", TPgxFormValue::Int(r.Tag));
    n.Add("Zoom", TPgxFormValue::Int(r.Panel().Zoom()));
    n.Add("PrintIfEmpty", TPgxFormValue::Bool(r.PrintIfEmpty()));
    n.Add("Page.PaperSize", PgxEnumValue(PaperNames, int(r.Page.GetPaperSize())));
    n.Add("Page.Orientation", PgxEnumValue(OrientationNames, int(r.Page.Orientation())));
    n.Add("Page.Columns", TPgxFormValue::Int(r.Page.Columns()));
    n.Add("Page.PrintOrder", PgxEnumValue(PrintOrderNames, int(r.Page.PrintOrder())));
    n.Add("Page.Ruler", TPgxFormValue::Bool(r.Page.GetRuler()));
    n.Add("Page.Units", PgxEnumValue(UnitNames, int(r.Page.GetUnits())));
    n.Add("Page.Values", TPgxFormValue::Floats(r.Page.ReadValues()));
    WriteFrame(r.Frame(), n);
    n.Add("Functions.Strings", TPgxFormValue::Strings(r.Functions.Names()));
    n.Add("Functions.DATA", TPgxFormValue::Strings(r.Functions.Data()));
    n.Add("PrinterSettings.Copies", TPgxFormValue::Int(r.PrinterSettings.Copies));
    n.Add("PrinterSettings.Duplex", TPgxFormValue::Bool(r.PrinterSettings.Duplex));
    n.Add("PrinterSettings.FirstPage", TPgxFormValue::Int(r.PrinterSettings.FirstPage));
    n.Add("PrinterSettings.LastPage", TPgxFormValue::Int(r.PrinterSettings.LastPage));
    n.Add("PrinterSettings.Title", TPgxFormValue::Str(r.PrinterSettings.Title));
    if (auto *p = dynamic_cast<TPagorra *>(&r); p && p->DataSet())
        n.Add("DataSet", TPgxFormValue::Str(QString::fromStdString(p->DataSet()->Name())));
}

void WriteBand(TPgxCustomBand &b, TPgxFormNode &n)
{
    n.Add("BandType", PgxEnumValue(BandTypeNames, int(b.BandType())));
    n.Add("Size.Values", TPgxFormValue::Floats(b.Size.ReadValues()));
    n.Add("Enabled", TPgxFormValue::Bool(b.Enabled));
    n.Add("ForceNewColumn", TPgxFormValue::Bool(b.ForceNewColumn));
    n.Add("ForceNewPage", TPgxFormValue::Bool(b.ForceNewPage));
    n.Add("KeepOnOnePage", TPgxFormValue::Bool(b.KeepOnOnePage));
    n.Add("AlignToBottom", TPgxFormValue::Bool(b.AlignToBottom));
    n.Add("TransparentBand", TPgxFormValue::Bool(b.TransparentBand));
    n.Add("Color", TPgxFormValue::Int(b.Color));
    WriteFrame(b.Frame(), n);
    if (b.LinkBand() && !b.LinkBand()->Name().isEmpty())
        n.Add("LinkBand", TPgxFormValue::Str(b.LinkBand()->Name()));
    if (auto *g = dynamic_cast<TPgxGroup *>(&b); g && g->FooterBand() && !g->FooterBand()->Name().isEmpty())
        n.Add("FooterBand", TPgxFormValue::Str(g->FooterBand()->Name()));
    if (auto *c = dynamic_cast<TPgxChildBand *>(&b); c && c->ParentBand() && !c->ParentBand()->Name().isEmpty())
        n.Add("ParentBand", TPgxFormValue::Str(c->ParentBand()->Name()));
    // Groups and controller bands hang under their report unless a controller band of it is
    // their master; only that one is written, by name.
    TPgxComponent *master = nullptr;
    if (auto *g = dynamic_cast<TPgxGroup *>(&b))
        master = g->Master();
    else if (auto *cb = dynamic_cast<TPgxControllerBand *>(&b))
        master = cb->Master();
    if (auto *mb = dynamic_cast<TPgxControllerBand *>(master); mb && !mb->Name().isEmpty())
        n.Add("Master", TPgxFormValue::Str(mb->Name()));
}

void WritePrintable(TPgxPrintable &p, TPgxFormNode &n)
{
    n.Add("Size.Values", TPgxFormValue::Floats({p.Height, p.Left, p.Top, p.Width}));
    n.Add("Enabled", TPgxFormValue::Bool(p.Enabled));
    n.Add("Transparent", TPgxFormValue::Bool(p.Transparent));
    n.Add("Color", TPgxFormValue::Int(p.Color));
    n.Add("Alignment", PgxEnumValue(PgxAlignmentNames, int(p.Alignment())));
    n.Add("AlignToBand", TPgxFormValue::Bool(p.AlignToBand()));
    WriteFrame(p.Frame(), n);
}

bool MakeNode(const TPgxFormClass *cls, const QString &name, const TPgxFormObject &o, TPgxFormNode &n)
{
    if (!cls)
        return false;
    n.className = cls->className;
    n.name = name;
    if (o.report)
        WriteReport(*o.report, n);
    else if (o.band)
        WriteBand(*o.band, n);
    else if (o.printable)
        WritePrintable(*o.printable, n);
    if (cls->write)
        cls->write(o, n);
    return true;
}

} // namespace

QByteArray PgxWriteReportForm(const TPgxOwner &owner, QStringList *leftOut)
{
    TPgxFormDocument doc;
    auto leave = [leftOut](const QString &name) {
        if (leftOut)
            leftOut->append(name.isEmpty() ? QStringLiteral("(unnamed)") : name);
    };
    for (int i = 0; i < owner.ComponentCount(); ++i) {
        const TPgxOwner::Component &c = owner.ComponentAt(i);
        TPgxFormNode node;
        if (c.dataSet) {
            // Only a data set the class can make again is stored; others stay the program's.
            const TPgxFormClass *cls = PgxFindFormClass(c.className);
            if (!cls || cls->type != PgxDynamicType(*c.dataSet))
                continue;
            TPgxFormObject o;
            o.dataSet = c.dataSet;
            if (MakeNode(cls, c.ComponentName(), o, node))
                doc.components.push_back(std::move(node));
            continue;
        }
        if (!c.report)
            continue;
        TPgxFormObject ro;
        ro.report = c.report;
        if (!MakeNode(PgxFindFormClass(PgxDynamicType(*c.report)), c.report->objectName(), ro, node)) {
            leave(c.report->objectName());
            continue;
        }
        for (TPgxCustomBand *b : c.report->AllBands()) {
            TPgxFormObject bo;
            bo.band = b;
            TPgxFormNode bn;
            if (!MakeNode(PgxFindFormClass(PgxDynamicType(*b)), b->Name(), bo, bn)) {
                leave(b->Name());
                continue;
            }
            for (const auto &p : b->Printables()) {
                TPgxFormObject po;
                po.printable = p.get();
                TPgxFormNode pn;
                if (MakeNode(PgxFindFormClass(PgxDynamicType(*p)), p->Name, po, pn))
                    bn.children.push_back(std::move(pn));
                else
                    leave(p->Name);
            }
            node.children.push_back(std::move(bn));
        }
        // Printables on the report itself, after its bands.
        for (const auto &p : c.report->Printables()) {
            TPgxFormObject po;
            po.printable = p.get();
            TPgxFormNode pn;
            if (MakeNode(PgxFindFormClass(PgxDynamicType(*p)), p->Name, po, pn))
                node.children.push_back(std::move(pn));
            else
                leave(p->Name);
        }
        doc.components.push_back(std::move(node));
    }
    return PgxWriteForm(doc);
}

bool PgxSaveReportForm(const TPgxOwner &owner, const QString &fileName, QString *error)
{
    // A form that would silently lose some of its components is not written at all.
    QStringList leftOut;
    const QByteArray text = PgxWriteReportForm(owner, &leftOut);
    if (!leftOut.isEmpty()) {
        if (error)
            *error = QStringLiteral("These components cannot be stored: %1").arg(leftOut.join(QStringLiteral(", ")));
        return false;
    }
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) < 0 || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

// ---- reading

namespace {

class FormReader;
thread_local FormReader *t_reader = nullptr;

class FormReader
{
public:
    void ResolveLater(const QString &name, std::function<void(report::PgxDataSet *)> set)
    {
        m_dataSetRefs.push_back({std::move(set), name});
    }

    static constexpr size_t MaxBands = 256;

    FormReader(TPgxOwner &owner, const TPgxOwner &target) : m_owner(owner), m_target(target) {}

    bool Read(const TPgxFormDocument &doc)
    {
        for (const TPgxFormNode &n : doc.components)
            if (!Component(n, {}, 0))
                return false;
        return Resolve();
    }
    QString error;

private:
    bool Fail(int line, const QString &what)
    {
        if (error.isEmpty())
            error = line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(what) : what;
        return false;
    }
    bool Fail(const TPgxFormNode &n, const QString &what) { return Fail(n.line, what); }
    // A property is named by its own line (a form made in code has none: its component's).
    bool Fail(const TPgxFormNode &n, const TPgxFormProperty &p, const QString &what)
    {
        return Fail(p.line > 0 ? p.line : n.line, what);
    }

    bool Component(const TPgxFormNode &n, const TPgxFormObject &parent, int level)
    {
        const TPgxFormClass *cls = PgxFindFormClass(n.className);
        if (!cls || !cls->create)
            return Fail(n, QStringLiteral("class %1 not found").arg(n.className));
        // Reports and data sets stand on the form, bands on a report, printables on a band or
        // on the report itself.
        const bool placed = level == 0 ? (cls->kind == Kind::Report || cls->kind == Kind::DataSet)
                          : parent.report ? (cls->kind == Kind::Band || cls->kind == Kind::Printable)
                                          : parent.band && cls->kind == Kind::Printable;
        if (!placed)
            return Fail(n, QStringLiteral("a %1 cannot stand here").arg(n.className));
        if (!n.name.isEmpty()) {
            const QString key = n.name.toLower();
            if (m_names.count(key) || m_target.FindComponent(n.name) || m_owner.FindComponent(n.name))
                return Fail(n, QStringLiteral("a component named %1 already exists").arg(n.name));
            m_names.insert(key);
        }
        // Every band added rebuilds the report's band list: a real report has a few dozen.
        if (cls->kind == Kind::Band && parent.report && parent.report->AllBands().size() >= MaxBands)
            return Fail(n, QStringLiteral("more than %1 bands in one report").arg(MaxBands));
        const TPgxFormObject o = cls->create(m_owner, parent, n);
        if (!o.report && !o.band && !o.printable && !o.dataSet)
            return Fail(n, QStringLiteral("%1 could not be made").arg(n.className));
        if (o.report)
            o.report->setObjectName(n.name);
        else if (o.band && !n.name.isEmpty()) // else the report's own name for its kind
            o.band->SetName(n.name);
        else if (o.printable)
            o.printable->Name = n.name; // as read: a caption stays what the form says
        for (const TPgxFormProperty &p : n.properties) {
            QString why;
            bool taken = Common(o, p, why);
            if (!taken && why.isEmpty() && cls->read)
                taken = cls->read(o, p, why);
            if (!why.isEmpty())
                return Fail(n, p, QStringLiteral("%1 of %2").arg(why, n.className));
            if (!taken)
                return Fail(n, p, QStringLiteral("%1 has no property %2").arg(n.className, p.name));
        }
        for (const TPgxFormNode &c : n.children)
            if (!Component(c, o, level + 1))
                return false;
        if (o.report && !Loaded(*o.report))
            return Fail(n, QStringLiteral("the page's margins or columns leave no room to print"));
        if (cls->loaded)
            cls->loaded(o);
        // The stored geometry wins over what sizing to content did while the rest was read.
        if (o.printable)
            for (const TPgxFormProperty &p : n.properties)
                if (Is(p, "Size.Values")) {
                    QString why;
                    PrintableProperty(*o.printable, p, why);
                }
        return true;
    }

    bool Common(const TPgxFormObject &o, const TPgxFormProperty &p, QString &why)
    {
        if (o.report)
            return ReportProperty(*o.report, p, why);
        if (o.band)
            return BandProperty(*o.band, p, why);
        if (o.printable)
            return PrintableProperty(*o.printable, p, why);
        return false;
    }

    bool ReportProperty(TCustomPagorra &r, const TPgxFormProperty &p, QString &why)
    {
        int64_t i;
        int e;
        bool b;
        std::vector<double> v;
        if (ReadFrame(r.Frame(), p, why))
            return true;
        if (Is(p, "ReportTitle")) {
            if (!p.value.ToString(r.ReportTitle))
                why = Bad(p);
        } else if (Is(p, "BackImageControl")) {
            if (!p.value.ToString(r.BackImageControl))
                why = Bad(p);
        } else if (Is(p, "Options")) {
            if (!p.value.ToInt(i, 0, 7))
                why = Bad(p);
            else
                r.Options = uint8_t(i);
        } else if (Is(p, "Tag")) {
            if (!p.value.ToInt(i, INT32_MIN, INT32_MAX))
                why = Bad(p);
            else
                r.Tag = int(i);
        } else if (Is(p, "Zoom")) {
            if (!p.value.ToInt(i, 1, 1000))
                why = Bad(p);
            else
                r.Panel().SetZoom(int(i));
        } else if (Is(p, "PrintIfEmpty")) {
            if (!p.value.ToBool(b))
                why = Bad(p);
            else
                r.SetPrintIfEmpty(b);
        } else if (Is(p, "Page.PaperSize")) {
            if (!PgxEnumFrom(p.value, PaperNames, e))
                why = Bad(p);
            else
                r.Page.SetPaperSize(TPgxPaperSize(e));
        } else if (Is(p, "Page.Orientation")) {
            if (!PgxEnumFrom(p.value, OrientationNames, e))
                why = Bad(p);
            else
                r.Page.SetOrientation(TPgxOrientation(e));
        } else if (Is(p, "Page.Columns")) {
            if (!p.value.ToInt(i, 1, 100))
                why = Bad(p);
            else
                r.Page.SetColumns(int(i));
        } else if (Is(p, "Page.PrintOrder")) {
            if (!PgxEnumFrom(p.value, PrintOrderNames, e))
                why = Bad(p);
            else
                r.Page.SetPrintOrder(TPgxPrintOrder(e));
        } else if (Is(p, "Page.Ruler")) {
            if (!p.value.ToBool(b))
                why = Bad(p);
            else
                r.Page.SetRuler(b);
        } else if (Is(p, "Page.Units")) {
            if (!PgxEnumFrom(p.value, UnitNames, e))
                why = Bad(p);
            else
                r.SetUnits(TPgxUnit(e));
        } else if (Is(p, "Page.Values")) {
            // Bottom margin, length, top margin, width, left and right margin, column space.
            if (!Lengths(p.value, 7, 0, v) || v[1] < 1 || v[3] < 1)
                why = Bad(p);
            else
                r.Page.WriteValues(v);
        } else if (Is(p, "Functions.Strings")) {
            if (!p.value.ToStrings(m_env[&r].first))
                why = Bad(p);
        } else if (Is(p, "Functions.DATA")) {
            if (!p.value.ToStrings(m_env[&r].second))
                why = Bad(p);
        } else if (Is(p, "PrinterSettings.Copies")) {
            if (!p.value.ToInt(i, 1, 9999))
                why = Bad(p);
            else
                r.PrinterSettings.Copies = int(i);
        } else if (Is(p, "PrinterSettings.Duplex")) {
            if (!p.value.ToBool(r.PrinterSettings.Duplex))
                why = Bad(p);
        } else if (Is(p, "PrinterSettings.FirstPage") || Is(p, "PrinterSettings.LastPage")) {
            if (!p.value.ToInt(i, 0, INT32_MAX))
                why = Bad(p);
            else
                (Is(p, "PrinterSettings.FirstPage") ? r.PrinterSettings.FirstPage : r.PrinterSettings.LastPage) = int32_t(i);
        } else if (Is(p, "PrinterSettings.Title")) {
            if (!p.value.ToString(r.PrinterSettings.Title))
                why = Bad(p);
        } else if (Is(p, "DataSet") && dynamic_cast<TPagorra *>(&r)) {
            QString name;
            if (!p.value.ToString(name))
                why = Bad(p);
            else
                m_dataSetRefs.push_back({[p = static_cast<TPagorra *>(&r)](report::PgxDataSet *ds) { p->SetDataSet(ds); }, name});
        } else {
            return false;
        }
        return true;
    }

    bool Loaded(TCustomPagorra &r)
    {
        auto it = m_env.find(&r);
        // The names come with their expressions; a name without one is dropped.
        if (it != m_env.end())
            r.Functions.Load(it->second.first, it->second.second);
        const TPgxPage &pg = r.Page;
        const double across = pg.Stored(TPgxPage::Width) - pg.Stored(TPgxPage::LeftMargin) - pg.Stored(TPgxPage::RightMargin);
        const double down = pg.Stored(TPgxPage::Length) - pg.Stored(TPgxPage::TopMargin) - pg.Stored(TPgxPage::BottomMargin);
        if (!(down >= 1) || !(across - pg.Stored(TPgxPage::ColumnSpace) * (pg.Columns() - 1) >= pg.Columns()))
            return false;
        r.SetBandValues();
        return true;
    }

    bool BandProperty(TPgxCustomBand &b, const TPgxFormProperty &p, QString &why)
    {
        int e;
        std::vector<double> v;
        if (ReadFrame(b.Frame(), p, why))
            return true;
        if (Is(p, "BandType")) {
            // Child bands, groups and controller bands are classes of their own and keep their type.
            if (!PgxEnumFrom(p.value, BandTypeNames, e) || !b.TakesBandType(TPgxBandType(e)))
                why = Bad(p);
            else if (TPgxBandType(e) != b.BandType())
                b.SetBandType(TPgxBandType(e));
        } else if (Is(p, "Size.Values")) {
            // Height and width; the width follows the page anyway.
            if (!Lengths(p.value, 2, -MaxLength, v) || v[0] < 0)
                why = Bad(p);
            else
                b.Size.WriteValues(v);
        } else if (Is(p, "Enabled")) {
            if (!p.value.ToBool(b.Enabled)) why = Bad(p);
        } else if (Is(p, "ForceNewColumn")) {
            if (!p.value.ToBool(b.ForceNewColumn)) why = Bad(p);
        } else if (Is(p, "ForceNewPage")) {
            if (!p.value.ToBool(b.ForceNewPage)) why = Bad(p);
        } else if (Is(p, "KeepOnOnePage")) {
            if (!p.value.ToBool(b.KeepOnOnePage)) why = Bad(p);
        } else if (Is(p, "AlignToBottom")) {
            if (!p.value.ToBool(b.AlignToBottom)) why = Bad(p);
        } else if (Is(p, "TransparentBand")) {
            if (!p.value.ToBool(b.TransparentBand)) why = Bad(p);
        } else if (Is(p, "Color")) {
            if (!Color(p.value, b.Color)) why = Bad(p);
        } else if (Is(p, "LinkBand") || Is(p, "FooterBand") || Is(p, "ParentBand") || Is(p, "HeaderBand")) {
            const bool sub = dynamic_cast<TPgxSubDetail *>(&b);
            const int what = Is(p, "LinkBand") ? 0 : Is(p, "FooterBand") ? (sub ? 4 : 1) : Is(p, "ParentBand") ? 2 : 3;
            QString name;
            if (!p.value.ToString(name) || (what == 1 && !dynamic_cast<TPgxGroup *>(&b))
                || (what == 2 && !dynamic_cast<TPgxChildBand *>(&b)) || (what == 3 && !sub))
                why = Bad(p);
            else
                m_bandRefs.push_back({&b, what, name, p.line});
        } else if (Is(p, "Master")) {
            QString name;
            if (!p.value.ToString(name) || !(dynamic_cast<TPgxGroup *>(&b) || dynamic_cast<TPgxControllerBand *>(&b)))
                why = Bad(p);
            else
                m_bandRefs.push_back({&b, 5, name, p.line});
        } else if (Is(p, "DataSet") && dynamic_cast<TPgxSubDetail *>(&b)) {
            QString name;
            if (!p.value.ToString(name))
                why = Bad(p);
            else
                m_dataSetRefs.push_back({[d = static_cast<TPgxSubDetail *>(&b)](report::PgxDataSet *ds) { d->SetDataSet(ds); }, name});
        } else {
            return false;
        }
        return true;
    }

    bool PrintableProperty(TPgxPrintable &pr, const TPgxFormProperty &p, QString &why)
    {
        int e;
        bool b;
        std::vector<double> v;
        if (ReadFrame(pr.Frame(), p, why))
            return true;
        if (Is(p, "Size.Values")) {
            // Height, left, top, width; a printable may stand left of or above its band.
            if (!Lengths(p.value, 4, -MaxLength, v) || v[0] < 0 || v[3] < 0)
                why = Bad(p);
            else {
                pr.Height = v[0];
                pr.Left = v[1];
                pr.Top = v[2];
                pr.Width = v[3];
            }
        } else if (Is(p, "Enabled")) {
            if (!p.value.ToBool(pr.Enabled)) why = Bad(p);
        } else if (Is(p, "Transparent")) {
            if (!p.value.ToBool(pr.Transparent)) why = Bad(p);
        } else if (Is(p, "Color")) {
            if (!Color(p.value, pr.Color)) why = Bad(p);
        } else if (Is(p, "Alignment")) {
            if (!PgxEnumFrom(p.value, PgxAlignmentNames, e))
                why = Bad(p);
            else
                pr.SetAlignment(TPgxAlignment(e));
        } else if (Is(p, "AlignToBand")) {
            if (!p.value.ToBool(b))
                why = Bad(p);
            else
                pr.SetAlignToBand(b);
        } else {
            return false;
        }
        return true;
    }

    bool Resolve()
    {
        for (const BandRef &ref : m_bandRefs) {
            TPgxCustomBand *target = nullptr;
            for (TPgxCustomBand *b : ref.band->ParentReport()->AllBands())
                if (!b->Name().isEmpty() && b->Name().compare(ref.name, Qt::CaseInsensitive) == 0)
                    target = b;
            static const char *const what[] = {"LinkBand", "FooterBand", "ParentBand", "HeaderBand", "FooterBand", "Master"};
            auto *masterBand = dynamic_cast<TPgxControllerBand *>(target);
            if (!target || target == ref.band || (ref.what == 5 && !masterBand))
                return Fail(ref.line, QStringLiteral("%1 of %2 names no other %3 of its report: %4")
                                          .arg(QLatin1String(what[ref.what]), ref.band->Name(),
                                               ref.what == 5 ? QStringLiteral("controller band") : QStringLiteral("band"),
                                               ref.name));
            bool ok = true;
            if (ref.what == 0)
                ok = ref.band->SetLinkBand(target);
            else if (ref.what == 1)
                static_cast<TPgxGroup *>(ref.band)->SetFooterBand(target);
            else if (ref.what == 2)
                ok = static_cast<TPgxChildBand *>(ref.band)->SetParentBand(target);
            else if (ref.what == 3)
                static_cast<TPgxSubDetail *>(ref.band)->SetHeaderBand(target);
            else if (ref.what == 4)
                static_cast<TPgxSubDetail *>(ref.band)->SetFooterBand(target);
            else if (auto *g = dynamic_cast<TPgxGroup *>(ref.band))
                ok = g->SetMaster(static_cast<TPgxComponent *>(masterBand));
            else
                // Refused when the chain of masters would come back to the band itself.
                ok = static_cast<TPgxControllerBand *>(ref.band)->SetMaster(static_cast<TPgxComponent *>(masterBand));
            if (!ok)
                return Fail(ref.line, QStringLiteral("%1 of %2 would make a loop of bands")
                                          .arg(QLatin1String(what[ref.what]), ref.band->Name()));
        }
        for (const DataSetRef &ref : m_dataSetRefs) {
            // A data set of the form read, else one the form read into already holds.
            report::PgxDataSet *found = nullptr;
            for (const TPgxOwner *o : {&m_target, static_cast<const TPgxOwner *>(&m_owner)})
                for (int i = 0; i < o->ComponentCount(); ++i)
                    if (report::PgxDataSet *ds = o->ComponentAt(i).dataSet)
                        if (QString::fromStdString(ds->Name()).compare(ref.name, Qt::CaseInsensitive) == 0)
                            found = ds;
            // One the program keeps elsewhere is left for it to set.
            if (found)
                ref.set(found);
        }
        for (int i = 0; i < m_owner.ComponentCount(); ++i)
            if (TCustomPagorra *r = m_owner.ComponentAt(i).report) {
                r->RebuildBandList();
                r->SetBandValues();
            }
        return true;
    }

    struct BandRef {
        TPgxCustomBand *band;
        int what; // 0 link, 1 group footer, 2 child's parent, 3 and 4 sub-detail header and footer, 5 master
        QString name;
        int line; // of the property that names it
    };
    struct DataSetRef {
        std::function<void(report::PgxDataSet *)> set;
        QString name;
    };
    TPgxOwner &m_owner;
    const TPgxOwner &m_target;
    std::set<QString> m_names;
    std::map<TCustomPagorra *, std::pair<std::vector<std::string>, std::vector<std::string>>> m_env;
    std::vector<BandRef> m_bandRefs;
    std::vector<DataSetRef> m_dataSetRefs;
};

} // namespace

bool PgxFormResolveDataSet(const QString &name, std::function<void(report::PgxDataSet *)> set)
{
    if (!t_reader || !set)
        return false;
    t_reader->ResolveLater(name, std::move(set));
    return true;
}

bool PgxReadReportForm(const QByteArray &text, TPgxOwner &owner, QString *error)
{
    TPgxFormDocument doc;
    if (!PgxParseForm(text, doc, error))
        return false;
    // Read into a scratch owner so that a refused form leaves nothing behind.
    TPgxOwner scratch;
    FormReader reader(scratch, owner);
    FormReader *outer = t_reader;
    t_reader = &reader;
    struct Restore {
        FormReader *outer;
        ~Restore() { t_reader = outer; }
    } restore{outer};
    if (!reader.Read(doc)) {
        if (error)
            *error = reader.error;
        return false;
    }
    owner.Adopt(scratch);
    return true;
}

} // namespace strandel
