#include "report/printables/printables_data.h"

#include "report/bands/controller.h"
#include "report/bands/controllerband.h"
#include "report/bands/pagorra.h"
#include "report/base/format.h"
#include "report/base/strings.h"
#include "report/data/dataset.h"
#include "report/expr/environment.h"

namespace strandel {

using report::PgxField;
using report::PgxFieldKind;
using report::TPgxEvResult;

namespace {

// The engine's texts are UTF-8.
QString FromEngine(const std::string &s)
{
    return QString::fromStdString(s);
}

std::string ToEngine(const QString &s)
{
    return s.toStdString();
}

QString Masked(const std::string &mask, double value)
{
    if (auto t = report::PgxFormatFloat(mask, value))
        return FromEngine(*t);
    return FromEngine(report::PgxFloatToStr(value)); // a mask that cannot format prints the plain number
}

// Numbers and dates keep their alignment in right-to-left text.
bool IsNumberOrDate(PgxFieldKind k)
{
    switch (k) {
    case PgxFieldKind::SmallInt: case PgxFieldKind::Integer: case PgxFieldKind::Word: case PgxFieldKind::Float:
    case PgxFieldKind::Currency: case PgxFieldKind::BCD: case PgxFieldKind::Date: case PgxFieldKind::Time:
    case PgxFieldKind::DateTime:
        return true;
    default:
        return false;
    }
}

} // namespace

// ---- data field

void TPgxDBText::SetDataField(const std::string &name)
{
    m_dataField = name;
    SetCaption(FromEngine(name));
}

const PgxField *TPgxDBText::Field() const
{
    if (!m_fieldFound || !m_dataSet)
        return nullptr;
    // Looked up again each time: a data set may make its fields anew when it opens.
    const PgxField *f = m_dataSet->Field(m_fieldIndex);
    if (!f || !report::PgxSameName(f->FieldName(), m_dataField))
        f = m_dataSet->FindField(m_dataField);
    return f;
}

bool TPgxDBText::UseRightToLeftAlignment() const
{
    if (!RightToLeft)
        return false;
    const PgxField *f = Field();
    return !f || !IsNumberOrDate(f->Kind());
}

void TPgxDBText::Prepare()
{
    TPgxCustomLabel::Prepare();
    m_fieldIndex = -1;
    m_fieldFound = false;
    m_memoField = false;
    if (m_dataSet) {
        if (const PgxField *f = m_dataSet->FindField(m_dataField)) {
            m_fieldIndex = f->Index();
            m_fieldFound = true;
            m_memoField = f->IsBlob();
            if (m_memoField)
                m_printCaption.clear();
        }
    }
}

void TPgxDBText::UnPrepare()
{
    m_fieldFound = false;
    m_fieldIndex = -1;
    m_memoField = false;
    TPgxCustomLabel::UnPrepare();
    SetDataField(m_dataField.empty() ? ToEngine(PgxPrintableName(*this)) : m_dataField);
}

QString TPgxDBText::FieldText()
{
    const PgxField *f = Field();
    if (!f)
        return {};
    if (m_memoField) {
        SetLines(PgxSplitLines(FromEngine(f->AsString())));
        return {};
    }
    // A null value prints as the field displays it (empty), not as a formatted zero.
    if (Mask.empty() || f->IsNull())
        return FromEngine(f->DisplayText());
    switch (f->Kind()) {
    case PgxFieldKind::Integer: case PgxFieldKind::SmallInt: case PgxFieldKind::Word:
        if (auto v = f->AsInteger())
            return Masked(Mask, *v);
        return Masked(Mask, f->AsFloat());
    case PgxFieldKind::Float: case PgxFieldKind::Currency: case PgxFieldKind::BCD:
        return Masked(Mask, f->AsFloat());
    case PgxFieldKind::Date: case PgxFieldKind::Time: case PgxFieldKind::DateTime:
        return FromEngine(report::PgxFormatDateTime(Mask, f->AsDateTime()));
    default:
        return FromEngine(f->DisplayText());
    }
}

void TPgxDBText::Print(int32_t ofsX, int32_t ofsY)
{
    if (Enabled) {
        const QString text = FieldText();
        if (!m_memoField)
            m_printCaption = text;
        m_formatted = false;
    }
    TPgxCustomLabel::Print(ofsX, ofsY);
}

void TPgxDBText::GetFieldString(QString &value)
{
    if (!Enabled)
        return;
    const QString text = FieldText();
    if (!m_memoField)
        value = text;
}

void TPgxDBText::GetExpandedHeight(double &height)
{
    GetFieldString(m_printCaption);
    FormatLines();
    height = double(m_formattedLines.size()) * PrintLineHeight();
}

// ---- expression

TPgxExpr::TPgxExpr()
{
    SetExpression({});
}

TPgxExpr::~TPgxExpr() = default;

void TPgxExpr::SetExpression(const std::string &value)
{
    m_expression = value;
    SetCaption(value.empty() ? QStringLiteral("(%1)").arg(FromEngine(report::PgxLoadStr(report::SpgxNone))) : FromEngine(value));
}

void TPgxExpr::SetMask(const std::string &value)
{
    m_mask = value;
    SetExpression(m_expression);
}

TPgxEvResult TPgxExpr::GetValue()
{
    if (!m_eval.Prepared())
        return TPgxEvResult::Error(report::PgxLoadStr(report::SpgxEvalNotPrepared));
    return m_eval.Value();
}

void TPgxExpr::Reset()
{
    m_eval.Reset();
}

void TPgxExpr::PgxNotification(TPgxCustomBand *sender, TPgxNotifyOperation operation)
{
    TPgxCustomLabel::PgxNotification(sender, operation);
    // One more record enters the aggregates.
    if (operation == TPgxNotifyOperation::pgxMasterDataAdvance && m_eval.Prepared())
        m_eval.DoAggregate();
}

TPgxCustomController *TPgxExpr::Notifier() const
{
    if (!Master)
        return m_eval.IsAggreg() && ParentReport() ? ParentReport()->Controller() : nullptr;
    if (auto *r = dynamic_cast<TPagorra *>(Master))
        return r->Controller();
    if (auto *sub = dynamic_cast<TPgxSubDetail *>(Master))
        return sub->Controller();
    return nullptr;
}

void TPgxExpr::Prepare()
{
    TPgxCustomLabel::Prepare();
    TCustomPagorra *report = ParentReport();
    m_eval.Datasets = report ? report->DataSets() : std::vector<const report::PgxDataSet *>{};
    m_eval.Environment = report ? &report->Functions : nullptr;
    m_eval.Prepare(m_expression);
    m_notifier = Notifier();
    if (m_notifier)
        m_notifier->AddNotifyClient(this);
    Reset();
}

void TPgxExpr::UnPrepare()
{
    // Only a controller that is still the one we joined knows us.
    if (m_notifier && Notifier() == m_notifier)
        m_notifier->RemoveNotifyClient(this);
    m_notifier = nullptr;
    m_eval.Datasets.clear();
    m_eval.UnPrepare();
    TPgxCustomLabel::UnPrepare();
    SetExpression(m_expression);
}

void TPgxExpr::Print(int32_t ofsX, int32_t ofsY)
{
    if (Enabled) {
        const TPgxEvResult v = GetValue();
        switch (v.Kind) {
        case report::resInt: m_printCaption = Masked(m_mask, v.IntResult); break;
        case report::resDouble: m_printCaption = Masked(m_mask, v.DoubleResult); break;
        case report::resBool: m_printCaption = v.BooleanResult ? QStringLiteral("True") : QStringLiteral("False"); break;
        default: m_printCaption = FromEngine(v.StringResult); break;
        }
        m_formatted = false;
    }
    TPgxCustomLabel::Print(ofsX, ofsY);
    if (Enabled && ResetAfterPrint && PrintFinished)
        Reset();
}

void TPgxDBCalc::SetDataField(const std::string &name)
{
    m_dataField = name;
    Rebuild();
}

void TPgxDBCalc::SetOperation(TPgxCalcOperation op)
{
    m_operation = op;
    Rebuild();
}

void TPgxDBCalc::Rebuild()
{
    switch (m_operation) {
    case TPgxCalcOperation::pgxcSum: SetExpression("Sum(" + m_dataField + ")"); break;
    case TPgxCalcOperation::pgxcCount: SetExpression("Count"); break;
    case TPgxCalcOperation::pgxcMax: SetExpression("Max(" + m_dataField + ")"); break;
    case TPgxCalcOperation::pgxcMin: SetExpression("Min(" + m_dataField + ")"); break;
    case TPgxCalcOperation::pgxcAverage: SetExpression("Average(" + m_dataField + ")"); break;
    }
}

// ---- system data

void TPgxSysData::SetData(TPgxSysDataType d)
{
    m_data = d;
    DesignCaption();
}

void TPgxSysData::SetText(const QString &text)
{
    m_text = text;
    DesignCaption();
}

void TPgxSysData::DesignCaption()
{
    using namespace report;
    static constexpr uint16_t names[] = {SpgxTime, SpgxDate, SpgxDateTime, SpgxPageNum, SpgxReportTitle,
                                         SpgxDetailCount, SpgxDetailNo};
    const auto i = size_t(m_data);
    const QString name = i < std::size(names) ? FromEngine(PgxLoadStr(names[i])) : QString();
    SetCaption(m_text + QLatin1Char('(') + name + QLatin1Char(')'));
}

void TPgxSysData::Print(int32_t ofsX, int32_t ofsY)
{
    TCustomPagorra *report = ParentReport();
    const QDateTime now = QDateTime::currentDateTime();
    auto *pagorra = dynamic_cast<TPagorra *>(report);
    switch (m_data) {
    case TPgxSysDataType::pgxsTime:
        SetCaption(m_text + FromEngine(report::PgxFormatDateTime("t", now)));
        break;
    case TPgxSysDataType::pgxsDate:
        SetCaption(m_text + FromEngine(report::PgxFormatDateTime("c", QDateTime(now.date(), QTime(0, 0)))));
        break;
    case TPgxSysDataType::pgxsDateTime:
        SetCaption(m_text + FromEngine(report::PgxFormatDateTime("c", now)));
        break;
    case TPgxSysDataType::pgxsPageNumber:
        SetCaption(m_text + QString::number(report ? report->PageNumber() : 0));
        break;
    case TPgxSysDataType::pgxsReportTitle:
        SetCaption(m_text + (report ? report->ReportTitle : QString()));
        break;
    case TPgxSysDataType::pgxsDetailCount:
        if (pagorra)
            SetCaption(m_text + QString::number(pagorra->RecordCount()));
        break;
    case TPgxSysDataType::pgxsDetailNo:
        if (pagorra)
            SetCaption(m_text + QString::number(pagorra->RecordNumber()));
        break;
    }
    TPgxCustomLabel::Print(ofsX, ofsY);
}

// ---- merged memo

void TPgxMerger::Prepare()
{
    if (m_prepared)
        Unprepare();
    m_expressions.clear();
    m_mergedLines.clear();
    m_merged = false;
    if (OrgLines.isEmpty())
        return;
    m_expandedLines.clear();
    for (int i = 0; i < OrgLines.size(); ++i) {
        QString line = OrgLines.at(i);
        // Braces that close nothing, close before they open or hold nothing stay as text, so the
        // scan of a line always ends.
        qsizetype from = 0;
        for (;;) {
            const qsizetype open = line.indexOf(QLatin1Char('{'), from);
            if (open < 0)
                break;
            const qsizetype close = line.indexOf(QLatin1Char('}'), open + 1);
            if (close < 0)
                break;
            const QString expr = line.mid(open + 1, close - open - 1);
            if (expr.isEmpty()) {
                from = close + 1;
                continue;
            }
            line.remove(open, close - open + 1);
            auto e = std::make_unique<MemoEvaluator>();
            e->eval.Datasets = Datasets;
            e->eval.Prepare(ToEngine(expr));
            e->line = i;
            e->pos = open + 1;
            m_expressions.push_back(std::move(e));
            from = open;
        }
        m_expandedLines << line;
    }
    m_prepared = true;
}

void TPgxMerger::Merge()
{
    if (m_expressions.empty()) {
        if (!m_merged)
            m_mergedLines = OrgLines;
        m_merged = true;
        return;
    }
    m_mergedLines = m_expandedLines;
    // From the last to the first, so that earlier places on a line stay where they were.
    for (auto it = m_expressions.rbegin(); it != m_expressions.rend(); ++it) {
        MemoEvaluator &e = **it;
        const TPgxEvResult v = e.eval.Value();
        QString text;
        switch (v.Kind) {
        case report::resInt: text = QString::number(v.IntResult); break;
        case report::resDouble: text = FromEngine(report::PgxFloatToStr(v.DoubleResult)); break;
        case report::resString: text = FromEngine(v.StringResult); break;
        case report::resBool: text = v.BooleanResult ? QStringLiteral("True") : QStringLiteral("False"); break;
        default: break;
        }
        QString &line = m_mergedLines[e.line];
        line.insert(std::min(e.pos - 1, line.size()), text);
    }
    m_merged = true;
}

void TPgxMerger::Unprepare()
{
    if (m_prepared) {
        m_expandedLines.clear();
        m_prepared = false;
        m_merged = false;
    }
    m_mergedLines.clear();
    m_expressions.clear();
}

bool TPgxMerger::IsAggreg() const
{
    for (const auto &e : m_expressions)
        if (e->eval.IsAggreg())
            return true;
    return false;
}

void TPgxMerger::DoAggregate()
{
    for (auto &e : m_expressions)
        if (e->eval.Prepared() && e->eval.IsAggreg())
            e->eval.DoAggregate();
}

TPgxExprMemo::~TPgxExprMemo() = default;

void TPgxExprMemo::Prepare()
{
    m_merger = std::make_unique<TPgxMerger>();
    m_merger->OrgLines = m_lines;
    TCustomPagorra *report = ParentReport();
    if (report)
        m_merger->Datasets = report->DataSets();
    m_merger->Prepare();
    // Aggregates in braces are fed record by record, as an expression printable's are.
    if (report && report->Controller() && m_merger->IsAggreg()) {
        m_notifier = report->Controller();
        m_notifier->AddNotifyClient(this);
    }
    TPgxCustomLabel::Prepare();
}

void TPgxExprMemo::PgxNotification(TPgxCustomBand *sender, TPgxNotifyOperation operation)
{
    TPgxCustomLabel::PgxNotification(sender, operation);
    if (operation == TPgxNotifyOperation::pgxMasterDataAdvance && m_merger)
        m_merger->DoAggregate();
}

void TPgxExprMemo::Print(int32_t ofsX, int32_t ofsY)
{
    SetCaption(QString());
    if (m_merger) {
        m_merger->Merge();
        if (const QStringList *lines = m_merger->MergedLines()) {
            QStringList merged = *lines;
            if (RemoveBlankLines)
                merged.removeAll(QString());
            SetLines(merged);
        }
    }
    TPgxCustomLabel::Print(ofsX, ofsY);
    SetCaption(PgxPrintableName(*this));
}

void TPgxExprMemo::UnPrepare()
{
    if (m_merger) {
        SetLines(m_merger->OrgLines); // the text with its braces comes back
        if (m_notifier && ParentReport() && ParentReport()->Controller() == m_notifier)
            m_notifier->RemoveNotifyClient(this);
        m_notifier = nullptr;
        m_merger->Datasets.clear();
        m_merger->Unprepare();
        m_merger.reset();
    }
    TPgxCustomLabel::UnPrepare();
}

} // namespace strandel
