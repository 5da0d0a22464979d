#include "report/bands/controller.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include <QCoreApplication>

#include "platform/uithread.h"
#include "report/bands/controllerband.h"
#include "report/bands/pagorra.h"
#include "report/base/format.h"
#include "report/data/dataset.h"

namespace strandel {

using report::TPgxEvResult;

TPgxCustomController::TPgxCustomController(TCustomPagorra *report) : m_report(report), m_anchor(report)
{
    if (!m_anchor)
        m_anchor = this;
}

TPgxCustomController::TPgxCustomController(TPgxControllerBand *band) : m_report(nullptr), m_anchor(this)
{
    SetCreatorBand(band);
}

void TPgxCustomController::SetCreatorBand(TPgxControllerBand *band)
{
    m_band = band;
    m_anchor = band ? static_cast<TPgxComponent *>(band) : this;
}

bool TPgxCustomController::SetMaster(TPgxComponent *master)
{
    if (!master) {
        m_master = nullptr;
        return true;
    }
    if (master == this
        || !(dynamic_cast<TCustomPagorra *>(master) || dynamic_cast<TPgxCustomController *>(master)
             || dynamic_cast<TPgxControllerBand *>(master)))
        return false;
    m_master = master;
    return true;
}

void TPgxCustomController::RemoveNotifyClient(TPgxPrintable *p)
{
    m_notify.erase(std::remove(m_notify.begin(), m_notify.end(), p), m_notify.end());
}

void TPgxCustomController::NotifyClients(TPgxNotifyOperation op)
{
    for (TPgxPrintable *p : m_notify)
        p->PgxNotification(nullptr, op);
}

void TPgxCustomController::BuildTree()
{
    // A chain of masters that comes back here (set around the checks) is walked once.
    if (m_building)
        return;
    m_building = true;
    m_before.clear();
    m_after.clear();
    m_groups.clear();
    if (m_report) {
        for (TPgxCustomBand *b : m_report->AllBands()) {
            if (auto *cb = dynamic_cast<TPgxControllerBand *>(b)) {
                TPgxCustomController *c = cb->Controller();
                if (c == this || c->Master() != m_anchor)
                    continue;
                c->SetParentReport(m_report);
                (c->PrintBefore ? m_before : m_after).push_back(c);
                c->BuildTree();
            } else if (auto *g = dynamic_cast<TPgxGroup *>(b); g && g->Master() == m_anchor) {
                g->SetParentReport(m_report);
                m_groups.push_back(g);
            }
        }
    }
    RegisterDatasets();
    m_building = false;
}

void TPgxCustomController::Prepare()
{
    for (TPgxCustomController *c : m_before)
        c->Prepare();
    for (TPgxCustomController *c : m_after)
        c->Prepare();
    for (TPgxGroup *g : m_groups)
        g->PrepareGroup();
    m_localVar = nullptr;
    if (m_report && m_band && !m_band->Name().isEmpty())
        m_localVar = m_report->Functions.GetConstant(m_band->Name().toStdString());
}

void TPgxCustomController::Unprepare()
{
    for (TPgxCustomController *c : m_before)
        c->Unprepare();
    for (TPgxCustomController *c : m_after)
        c->Unprepare();
    for (TPgxGroup *g : m_groups)
        g->UnprepareGroup();
    m_localVar = nullptr;
}

TPgxEvResult TPgxCustomController::LocalVarValue() const
{
    return TPgxEvResult::Error({});
}

void TPgxCustomController::UpdateLocalVar()
{
    if (m_localVar)
        report::TPgxEvEnvironment::SetConstant(m_localVar, LocalVarValue());
}

void TPgxCustomController::PrintBand(TPgxCustomBand *band)
{
    if (band && m_report)
        m_report->PrintBand(band);
}

void TPgxCustomController::PrintBeforeControllers()
{
    for (TPgxCustomController *c : m_before)
        c->Execute();
}

void TPgxCustomController::PrintAfterControllers()
{
    for (TPgxCustomController *c : m_after)
        c->Execute();
}

void TPgxCustomController::PrintEmptyController()
{
    PrintBeforeControllers();
    PrintAfterControllers();
}

void TPgxCustomController::Execute()
{
    if (PrintIfEmpty)
        PrintEmptyController();
}

bool TPgxCustomController::CheckGroups()
{
    for (size_t i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i]->Check()) {
            // Every group inside a broken one breaks too.
            for (size_t j = i + 1; j < m_groups.size(); ++j)
                m_groups[j]->MarkBroken();
            return true;
        }
    }
    return false;
}

void TPgxCustomController::NewPageCheckGroups()
{
    for (TPgxGroup *g : m_groups)
        if (g->Broken())
            return;
    for (TPgxCustomController *c : m_before)
        c->NewPageCheckGroups();
    for (size_t i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i]->NewPageCheck()) {
            for (size_t j = i + 1; j < m_groups.size(); ++j)
                m_groups[j]->MarkBroken();
            PrintGroupHeaders();
            break;
        }
    }
    for (TPgxCustomController *c : m_after)
        c->NewPageCheckGroups();
}

void TPgxCustomController::PrintGroupHeaders()
{
    for (TPgxGroup *g : m_groups)
        if (g->Broken())
            g->PrintGroupHeader();
}

void TPgxCustomController::PrintGroupFooters()
{
    for (auto it = m_groups.rbegin(); it != m_groups.rend(); ++it)
        if ((*it)->Broken())
            (*it)->PrintGroupFooter();
}

void TPgxCustomController::CheckLastGroupFooters()
{
    for (TPgxGroup *g : m_groups)
        g->SetBroken(!g->Broken());
}

// ---- data-set controller

void TPgxCustomController::RegisterAroundBand(TPgxCustomBand *band)
{
    for (TPgxCustomController *c : m_before)
        c->RegisterBands();
    m_report->RegisterBand(band);
    for (TPgxCustomController *c : m_after)
        c->RegisterBands();
}

bool TPgxCustomController::RunCancelled() const
{
    if (!m_report)
        return false;
    const TPgxPrinter *printer = m_report->Printer();
    return m_report->Cancelled() || (printer && printer->Cancelled());
}

void TPgxController::RegisterBands()
{
    if (!m_report)
        return;
    m_report->RegisterBand(HeaderBand);
    for (TPgxGroup *g : m_groups)
        m_report->RegisterBand(g);
    RegisterAroundBand(DetailBand);
    for (auto it = m_groups.rbegin(); it != m_groups.rend(); ++it)
        m_report->RegisterBand((*it)->FooterBand());
    m_report->RegisterBand(FooterBand);
}

void TPgxController::RegisterDatasets()
{
    if (m_report && DataSet && DataSet->IsOpen())
        m_report->AddRunDataSet(DataSet);
}

void TPgxController::Prepare()
{
    TPgxCustomController::Prepare();
    m_paramQuery = false;
    if (DataSet && m_report)
        for (const report::PgxParam &p : DataSet->Params())
            for (int i = 0; i < m_report->Functions.Count(); ++i)
                if (m_report->Functions.Name(i) == report::PgxUpperAscii(p.name))
                    m_paramQuery = true;
}

void TPgxController::PrintEmptyController()
{
    PrintBand(HeaderBand);
    PrintBeforeControllers();
    PrintBand(DetailBand);
    PrintAfterControllers();
    PrintBand(FooterBand);
}

namespace {

// Lets the window (a preview showing the pages, a cancel button) breathe during a run, but only
// on its own thread: a worker run has no events of its own to handle. Between records at most
// every few milliseconds: a look at the event queue costs more than printing a small band.
void ProcessMessages(bool always)
{
    if (!IsUiThread())
        return;
    using Clock = std::chrono::steady_clock;
    static Clock::time_point last; // only ever touched on the window's thread
    const Clock::time_point now = Clock::now();
    if (!always && now - last < std::chrono::milliseconds(5))
        return;
    last = now;
    QCoreApplication::processEvents();
}

// The value a query parameter of this kind takes from a variable's result; none when the result
// is of another kind (or a date text that does not convert): the parameter keeps its value then.
std::optional<QVariant> ParamValue(report::PgxFieldKind kind, const TPgxEvResult &v)
{
    using K = report::PgxFieldKind;
    const bool text = v.Kind == report::resString;
    switch (kind) {
    case K::String:
        if (text)
            return QVariant(QString::fromStdString(v.StringResult));
        break;
    case K::Integer:
    case K::SmallInt:
    case K::Word:
        if (v.Kind == report::resInt)
            return QVariant(v.IntResult);
        break;
    case K::Boolean:
        if (v.Kind == report::resBool)
            return QVariant(v.BooleanResult);
        break;
    case K::Float:
    case K::Currency:
    case K::BCD:
        if (v.Kind == report::resDouble)
            return QVariant(v.DoubleResult);
        break;
    case K::Date:
        if (text)
            if (auto d = report::PgxStrToDateTime(v.StringResult))
                return QVariant(d->date());
        break;
    case K::Time:
        if (text)
            if (auto t = report::PgxStrToTime(v.StringResult))
                return QVariant(*t);
        break;
    case K::DateTime:
        if (text)
            if (auto d = report::PgxStrToDateTime(v.StringResult))
                return QVariant(*d);
        break;
    default:
        break;
    }
    return std::nullopt;
}

// Query parameters named like a report variable take its value, then the query runs anew.
void UpdateParams(report::PgxDataSet &ds, report::TPgxEvEnvironment &env)
{
    ds.Close();
    const std::vector<report::PgxParam> params = ds.Params(); // SetParam writes the list
    for (const report::PgxParam &p : params) {
        const std::string upper = report::PgxUpperAscii(p.name);
        for (int i = 0; i < env.Count(); ++i) {
            if (env.Name(i) != upper)
                continue;
            if (std::optional<QVariant> value = ParamValue(p.kind, env.Value(upper)))
                ds.SetParam(p.name, p.kind, *value);
        }
    }
    ds.Open();
}

} // namespace

void TPgxController::Execute()
{
    for (TPgxGroup *g : m_groups)
        g->ClearValue();
    const bool open = DataSet && DataSet->IsOpen();
    if ((!open && !OnNeedData) || !m_report) {
        if (PrintIfEmpty)
            PrintEmptyController();
        return;
    }
    bool moreData = true;
    const bool useDataSet = open;
    int recordCount = 1;
    if (useDataSet) {
        if (m_paramQuery)
            UpdateParams(*DataSet, m_report->Functions);
        DataSet->First();
        moreData = !DataSet->Eof();
        if (auto *rep = dynamic_cast<TPagorra *>(m_report))
            recordCount = rep->RecordCount();
        if (!moreData && PrintIfEmpty)
            PrintEmptyController();
    } else if (OnNeedData) {
        OnNeedData(moreData);
    }
    m_detailNumber = 0;
    if (DetailBand)
        DetailBand->SetParentController(this);
    if (!moreData)
        return;
    ProcessMessages(true);
    if (m_report->Cancelled())
        return;
    const bool reportLevel = m_anchor == static_cast<TPgxComponent *>(m_report);
    if (HeaderBand) {
        m_report->PrintBand(HeaderBand);
        if (reportLevel)
            m_report->SetHeaderPrinted(true);
    }
    // A composite member starts on a page another report began: its column header goes first.
    if ((m_report->PageNumber() <= 1 || m_report->CompositeRun()) && reportLevel) {
        TPgxCustomBand *col = m_report->BandOfType(TPgxBandType::rbColumnHeader);
        if (col && col->Enabled) {
            m_report->PrintBand(col);
            m_report->SetHeaderPrinted(true);
        }
    }
    CheckGroups();
    TPgxPrinter *printer = m_report->Printer();
    auto *pagorra = dynamic_cast<TPagorra *>(m_report);
    const bool showProgress = pagorra && useDataSet && pagorra->DataSet() == DataSet && recordCount != 0;
    while (moreData) {
        ProcessMessages(false);
        if (RunCancelled())
            return;
        if (m_report->FirstPageOnly() && m_report->PageNumber() > 1)
            return;
        ++m_detailNumber;
        PrintGroupHeaders();
        PrintBeforeControllers();
        PrintBand(DetailBand);
        PrintAfterControllers();
        if (useDataSet) {
            DataSet->Next();
            moreData = !DataSet->Eof();
        } else {
            moreData = false;
            if (OnNeedData)
                OnNeedData(moreData);
        }
        if (CheckGroups()) {
            // The footers see the group's last record.
            if (useDataSet && moreData)
                DataSet->Prior();
            PrintGroupFooters();
            if (useDataSet && moreData)
                DataSet->Next();
        }
        if (showProgress && printer)
            printer->SetProgress(int(int64_t(m_detailNumber) * 100 / recordCount));
    }
    CheckLastGroupFooters();
    PrintGroupFooters();
    if (FooterBand) {
        if (m_report->PageNumber() == 0)
            m_report->NewPage();
        if (FooterBand->Height() > m_report->AvailableSpace())
            m_report->NewColumn();
        m_report->PrintBand(FooterBand);
    }
}

// ---- groups

bool TPgxGroup::SetMaster(TPgxComponent *master)
{
    if (master && !dynamic_cast<TCustomPagorra *>(master) && !dynamic_cast<TPgxControllerBand *>(master))
        return false;
    m_master = master;
    if (m_report) {
        m_report->RebuildBandList();
        m_report->SetBandValues();
    }
    return true;
}

void TPgxGroup::SetFooterBand(TPgxCustomBand *band)
{
    m_footer = band;
    if (band)
        band->SetBandType(TPgxBandType::rbGroupFooter);
}

void TPgxGroup::PrepareGroup()
{
    m_eval.Datasets = m_report ? m_report->DataSets() : std::vector<const report::PgxDataSet *>{};
    m_eval.Environment = m_report ? &m_report->Functions : nullptr;
    m_eval.Prepare(Expression);
    m_hasValue = false;
    m_open = false;
    m_page = 1;
}

void TPgxGroup::UnprepareGroup()
{
    m_eval.UnPrepare();
}

namespace {

bool SameValue(const TPgxEvResult &a, const TPgxEvResult &b)
{
    if (a.Kind != b.Kind)
        return false;
    switch (a.Kind) {
    case report::resInt: return a.IntResult == b.IntResult;
    case report::resDouble: return a.DoubleResult == b.DoubleResult;
    case report::resString: return a.StringResult == b.StringResult;
    case report::resBool: return a.BooleanResult == b.BooleanResult;
    default: return a.StringResult == b.StringResult;
    }
}

} // namespace

bool TPgxGroup::Check()
{
    m_break = false;
    const TPgxEvResult v = m_eval.Value();
    if (m_hasValue) {
        m_break = !SameValue(v, m_last);
        if (m_break)
            m_last = v;
    } else {
        m_last = v;
        m_break = true;
        m_hasValue = true;
    }
    return m_break;
}

void TPgxGroup::MarkBroken()
{
    m_last = m_eval.Value();
    m_break = true;
    m_hasValue = true;
}

bool TPgxGroup::NewPageCheck()
{
    m_break = false;
    if (ReprintOnNewPage && m_open && m_report && m_report->PageNumber() != m_page) {
        m_break = true;
        m_page = m_report->PageNumber();
    }
    return m_break;
}

void TPgxGroup::PrintGroupHeader()
{
    m_report->PrintBand(this);
    m_open = true;
    m_page = m_report->PageNumber();
}

void TPgxGroup::PrintGroupFooter()
{
    if (m_footer)
        m_report->PrintBand(m_footer);
    m_open = false;
}

} // namespace strandel
