#include "report/stored/listbuilder.h"

#include "report/bands/owner.h"
#include "report/bands/pagorra.h"
#include "report/bands/pagorrabands.h"
#include "report/base/strings.h"
#include "report/data/dataset.h"
#include "report/printables/printables_data.h"
#include "report/printables/printables_text.h"
#include "report/stored/formclasses.h"

namespace strandel {

namespace {

// Switches one of the report's standard bands on; existed says whether it was on already.
TPgxCustomBand *SwitchOn(TCustomPagorra &r, TPgxBandType type, bool *existed = nullptr)
{
    TPagorraBands bands(&r);
    if (existed)
        *existed = bands.BandInList(type) != nullptr;
    bands.SetBand(type, true);
    return bands.BandInList(type);
}

TPgxAlignment ToAlignment(report::PgxAlignment a)
{
    switch (a) {
    case report::PgxAlignment::Right: return TPgxAlignment::taRightJustify;
    case report::PgxAlignment::Center: return TPgxAlignment::taCenter;
    default: return TPgxAlignment::taLeftJustify;
    }
}

// How an expression names the field: in brackets, which a ']' would close early; a dot there
// splits off a data set's name, so a dotted name needs its own set's in front. Empty when no
// reference can name it.
std::string FieldReference(const report::PgxField &field, const std::string &setName)
{
    const std::string &name = field.FieldName();
    if (name.empty() || name.find(']') != std::string::npos)
        return {};
    if (name.find('.') == std::string::npos)
        return "[" + name + "]";
    if (setName.empty() || setName.find_first_of(".]") != std::string::npos)
        return {};
    return "[" + setName + "." + name + "]";
}

} // namespace

TPgxBuilder::TPgxBuilder(TPgxOwner *owner) : m_owner(owner) {}

TPgxBuilder::~TPgxBuilder()
{
    TPgxBuilder::SetActive(false);
}

void TPgxBuilder::FreeReport()
{
    TCustomPagorra *r = m_report.data();
    m_report = nullptr;
    if (!r)
        return; // already gone with its owner
    if (m_ownless.get() == r)
        m_ownless.reset();
    else if (m_owner)
        m_owner->Free(r); // nothing when the owner no longer has it
    m_built = false;
}

bool TPgxBuilder::SetActive(bool value)
{
    if (value == m_active)
        return true;
    if (value)
        BuildFramework();
    else
        FreeReport();
    m_active = value;
    return true;
}

void TPgxBuilder::SetOrientation(TPgxOrientation value)
{
    m_orientation = value;
    if (m_active && m_report)
        m_report->Page.SetOrientation(value);
}

void TPgxBuilder::SetTitle(const QString &value)
{
    m_title = value;
    if (m_active && m_report)
        m_report->ReportTitle = value;
}

void TPgxBuilder::SetReport(TCustomPagorra *report)
{
    if (!m_active)
        m_report = report;
}

TCustomPagorra *TPgxBuilder::FetchReport()
{
    if (!m_active)
        return nullptr;
    TCustomPagorra *r = m_report.data();
    if (m_ownless.get() == r)
        (void)m_ownless.release(); // the caller's now
    m_report = nullptr;
    m_built = false;
    m_active = false;
    return r;
}

QString TPgxBuilder::NewName(const QString &base)
{
    const QString b = base.mid(1);
    const int n = ++m_nameList[b];
    return b + QString::number(n);
}

void TPgxBuilder::RenameObjects()
{
    TCustomPagorra *r = m_report.data();
    if (!r)
        return;
    auto className = [](std::type_index t) {
        const TPgxFormClass *c = PgxFindFormClass(t);
        return c ? c->className : QString();
    };
    // The report's owner decides which names are taken; a report without one, its own parts.
    TPgxOwner *owner = m_owner && m_owner->Owns(r) ? m_owner : nullptr;
    TPgxOwner scratch;
    auto taken = [&](const QString &name) {
        if (owner)
            return owner->FindComponent(name);
        if (r->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return true;
        for (TPgxCustomBand *b : r->AllBands()) {
            if (b->Name().compare(name, Qt::CaseInsensitive) == 0)
                return true;
            for (const auto &p : b->Printables())
                if (p->Name.compare(name, Qt::CaseInsensitive) == 0)
                    return true;
        }
        for (const auto &p : r->Printables())
            if (p->Name.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    auto unique = [&](const QString &cls) {
        const QString base = cls.mid(1);
        for (long long n = 1;; ++n)
            if (!taken(base + QString::number(n)))
                return base + QString::number(n);
    };
    if (owner)
        for (int i = 0; i < owner->ComponentCount(); ++i) {
            const TPgxOwner::Component &c = owner->ComponentAt(i);
            if (c.report && c.report->objectName().isEmpty())
                c.report->setObjectName(unique(c.className));
        }
    else if (r->objectName().isEmpty())
        r->setObjectName(unique(className(PgxDynamicType(*r))));
    std::vector<TCustomPagorra *> reports{r};
    if (owner) {
        reports.clear();
        for (int i = 0; i < owner->ComponentCount(); ++i)
            if (owner->ComponentAt(i).report)
                reports.push_back(owner->ComponentAt(i).report);
    }
    auto namePrintable = [&](TPgxPrintable *p) {
        const QString cls = className(PgxDynamicType(*p));
        if (!p->Name.isEmpty() || cls.isEmpty())
            return;
        // A label's caption follows its name while it is empty or was the name.
        if (auto *label = dynamic_cast<TPgxCustomLabel *>(p))
            label->SetName(unique(cls));
        else
            p->Name = unique(cls);
    };
    for (TCustomPagorra *rep : reports) {
        for (TPgxCustomBand *b : rep->AllBands()) {
            if (b->Name().isEmpty()) {
                const QString cls = className(PgxDynamicType(*b));
                if (!cls.isEmpty())
                    b->SetName(unique(cls));
            }
            for (const auto &p : b->Printables())
                namePrintable(p.get());
        }
        for (const auto &p : rep->Printables())
            namePrintable(p.get());
    }
}

void TPgxBuilder::BuildFramework()
{
    if (m_report)
        return; // a report given gets neither title nor page number
    auto made = std::make_unique<TPagorra>();
    TCustomPagorra *r = made.get();
    if (m_owner)
        m_owner->AddReport(std::move(made), QStringLiteral("TPagorra"));
    else
        m_ownless = std::move(made);
    m_report = r;
    m_built = true;
    r->Page.SetOrientation(m_orientation);

    if (!m_title.isEmpty()) {
        TPgxCustomBand *title = SwitchOn(*r, TPgxBandType::rbTitle);
        auto *label = title->AddPrintable<TPgxLabel>();
        label->SetAutoSize(true);
        label->SetAlignment(TPgxAlignment::taCenter);
        label->SetAlignToBand(true);
        TPgxFont f = Font;
        f.Name = QStringLiteral("Arial");
        f.Size = 14;
        f.Bold = true;
        f.Italic = f.Underline = f.StrikeOut = false;
        label->SetFont(f);
        label->SetCaption(m_title);
    }

    bool hadFooter = false;
    TPgxCustomBand *footer = SwitchOn(*r, TPgxBandType::rbPageFooter, &hadFooter);
    auto *expr = footer->AddPrintable<TPgxExpr>();
    expr->SetFont(Font);
    expr->SetAlignment(TPgxAlignment::taRightJustify);
    expr->SetAlignToBand(true);
    // 'Page ' + PageNumber, with the page word of the string table.
    std::string text = "'";
    text += report::PgxLoadStr(report::SpgxPage);
    text += " ' + PageNumber";
    expr->SetExpression(text);
    if (!hadFooter)
        footer->SetHeight(PgxRound(expr->Height * 1.5));
}

// ---- list builder

void TPgxListBuilder::AddAllFields()
{
    Fields.clear();
    if (DataSet)
        for (int i = 0; i < DataSet->FieldCount(); ++i)
            Fields << QString::fromStdString(DataSet->Field(i)->FieldName());
}

bool TPgxListBuilder::SetActive(bool value)
{
    if (value == m_active)
        return true;
    if (!DataSet || !value)
        return TPgxBuilder::SetActive(false);
    TPgxBuilder::SetActive(true);
    return BuildList();
}

bool TPgxListBuilder::BuildList()
{
    m_error.clear();
    TCustomPagorra *r = m_report.data();
    if (!r)
        return true;
    // Every listed name must name a field before anything is added.
    std::vector<const report::PgxField *> fields;
    if (DataSet) {
        if (!Fields.isEmpty())
            for (const QString &name : Fields) {
                const report::PgxField *f = DataSet->FindField(name.toStdString());
                if (!f) {
                    m_error = QStringLiteral("%1: Field '%2' not found").arg(QString::fromStdString(DataSet->Name()), name);
                    return false;
                }
                fields.push_back(f); // invisible ones too
            }
        else
            for (int i = 0; i < DataSet->FieldCount(); ++i)
                if (DataSet->Field(i)->Visible())
                    fields.push_back(DataSet->Field(i));
    }

    bool hadDetail = false, hadHeader = false;
    TPgxCustomBand *header = SwitchOn(*r, TPgxBandType::rbColumnHeader, &hadHeader);
    TPgxCustomBand *detail = SwitchOn(*r, TPgxBandType::rbDetail, &hadDetail);
    double rowHeight = PgxRound(detail->Height() / 1.5);
    if (auto *p = dynamic_cast<TPagorra *>(r))
        p->SetDataSet(DataSet);

    LeftOut.clear();
    for (const report::PgxField *field : fields) {
        if (field->IsBlob())
            continue;
        const std::string reference = FieldReference(*field, DataSet->Name());
        if (reference.empty()) {
            LeftOut << QString::fromStdString(field->FieldName());
            continue;
        }
        auto *label = header->AddPrintable<TPgxLabel>();
        label->SetFont(Font);
        rowHeight = label->Height;
        label->SetAutoSize(true);
        label->SetCaption(QString(std::max(0, field->DisplayWidth()), QLatin1Char('X')));
        label->SetAutoSize(false);
        label->SetCaption(QString::fromStdString(field->DisplayLabel()));
        label->Frame().SetValue(1, true);

        auto *expr = detail->AddPrintable<TPgxExpr>();
        expr->SetFont(Font);
        expr->SetAutoSize(false);
        expr->SetExpression(reference);
        expr->Left = label->Left;
        expr->Width = label->Width;
        expr->SetAlignment(ToAlignment(field->Alignment()));
        if (detail->Width() < expr->Left + expr->Width && m_orientation == TPgxOrientation::Portrait)
            SetOrientation(TPgxOrientation::Landscape);
        if (detail->Width() < expr->Left + expr->Width) {
            // Does not fit even across: left out, and the next field takes its place.
            detail->FreePrintable(expr);
            header->FreePrintable(label);
        }
    }
    if (!hadDetail)
        detail->SetHeight(PgxRound(rowHeight * 1.5));
    if (!hadHeader)
        header->SetHeight(PgxRound(rowHeight * 1.5));
    RenameObjects();
    return true;
}

bool PgxCreateList(TCustomPagorra *&report, TPgxOwner *owner, report::PgxDataSet *dataSet, const QString &title,
                   const QStringList *fields, QString *error)
{
    TPgxListBuilder builder(owner);
    builder.DataSet = dataSet;
    builder.SetTitle(title);
    builder.SetReport(report);
    if (fields)
        builder.SetFields(*fields);
    if (!builder.SetActive(true)) {
        if (error)
            *error = builder.LastError();
        // A report made here goes, once; a report given stays the caller's.
        if (report)
            (void)builder.FetchReport(); // handed back untouched, never freed here
        builder.SetActive(false);
        return false;
    }
    if (builder.Active())
        report = builder.FetchReport();
    if (error) {
        error->clear();
        if (!builder.LeftOut.isEmpty())
            *error = QStringLiteral("No expression can name these fields; they were left out: %1")
                         .arg(builder.LeftOut.join(QStringLiteral(", ")));
    }
    return true;
}

} // namespace strandel
