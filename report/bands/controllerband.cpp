#include "report/bands/controllerband.h"

#include "report/bands/pagorra.h"
#include "report/base/strings.h"

namespace strandel {

using report::TPgxEvResult;

QString PgxLoopBandComponentName()
{
    return QString::fromStdString(report::PgxLoadStr(report::SpgxLoopBandName));
}

QString PgxStringsBandComponentName()
{
    return QString::fromStdString(report::PgxLoadStr(report::SpgxStringsBandName));
}

// ---- controller band

TPgxControllerBand::TPgxControllerBand(std::unique_ptr<TPgxCustomController> controller, TPgxBandType type)
    : TPgxCustomBand(type), m_ctl(std::move(controller))
{
    m_ctl->SetCreatorBand(this);
    m_ctl->PrintBefore = false;
}

TPgxControllerBand::~TPgxControllerBand() = default;

bool TPgxControllerBand::SetMaster(TPgxComponent *master)
{
    if (master == static_cast<TPgxComponent *>(this))
        return false;
    for (TPgxComponent *m = master; m;) {
        if (m == static_cast<TPgxComponent *>(this))
            return false;
        auto *cb = dynamic_cast<TPgxControllerBand *>(m);
        m = cb ? cb->m_master : nullptr;
    }
    m_master = master;
    m_ctl->SetMaster(master);
    if (m_report) {
        m_report->RebuildBandList();
        m_report->SetBandValues();
    }
    return true;
}

void TPgxControllerBand::SetPrintBefore(bool value)
{
    if (m_ctl->PrintBefore == value)
        return;
    m_ctl->PrintBefore = value;
    if (m_report) {
        m_report->RebuildBandList();
        m_report->SetBandValues();
    }
}

void TPgxControllerBand::SetName(const QString &name)
{
    if (m_localVar)
        RemoveLocalVar();
    TPgxCustomBand::SetName(name);
    if (m_report)
        CreateLocalVar();
}

void TPgxControllerBand::SetParentReport(TCustomPagorra *report)
{
    if (m_report && report != m_report && m_localVar)
        RemoveLocalVar();
    TPgxCustomBand::SetParentReport(report);
    m_ctl->SetParentReport(report);
    if (report && !m_localVar)
        CreateLocalVar();
}

void TPgxControllerBand::CreateLocalVar()
{
    const std::string expression = LocalVarExpression();
    if (!m_report || expression.empty() || m_name.isEmpty())
        return;
    m_report->Functions.AddFunction(m_name.toStdString(), expression);
    m_localVar = true;
}

void TPgxControllerBand::RemoveLocalVar()
{
    if (m_report && !m_name.isEmpty())
        m_report->Functions.DeleteFunction(m_name.toStdString());
    m_localVar = false;
}

// ---- sub-detail

TPgxSubDetail::TPgxSubDetail()
    : TPgxControllerBand(std::make_unique<TPgxController>(static_cast<TPgxControllerBand *>(nullptr)),
                         TPgxBandType::rbSubDetail)
{
    DataController()->DetailBand = this;
}

void TPgxSubDetail::SetDataSet(report::PgxDataSet *ds)
{
    DataController()->DataSet = ds;
    if (m_report)
        m_report->RegisterDataSet(ds);
}

void TPgxSubDetail::SetHeaderBand(TPgxCustomBand *band)
{
    DataController()->HeaderBand = band;
    if (band)
        band->SetBandType(TPgxBandType::rbGroupHeader);
}

void TPgxSubDetail::SetFooterBand(TPgxCustomBand *band)
{
    DataController()->FooterBand = band;
    if (band)
        band->SetBandType(TPgxBandType::rbGroupFooter);
}

void TPgxSubDetail::SetHasHeader(bool value)
{
    if (!m_report || value == HasHeader())
        return;
    if (value) {
        SetHeaderBand(m_report->CreateBand(TPgxBandType::rbGroupHeader));
        return;
    }
    TPgxCustomBand *header = HeaderBand();
    DataController()->HeaderBand = nullptr;
    m_report->RemoveBand(header);
}

void TPgxSubDetail::SetHasFooter(bool value)
{
    if (!m_report || value == HasFooter())
        return;
    if (value) {
        SetFooterBand(m_report->CreateBand(TPgxBandType::rbGroupFooter));
        return;
    }
    TPgxCustomBand *footer = FooterBand();
    DataController()->FooterBand = nullptr;
    m_report->RemoveBand(footer);
}

bool TPgxSubDetailGroupBands::HasHeader() const { return m_owner.HasHeader(); }
bool TPgxSubDetailGroupBands::HasFooter() const { return m_owner.HasFooter(); }
void TPgxSubDetailGroupBands::SetHasHeader(bool value) { m_owner.SetHasHeader(value); }
void TPgxSubDetailGroupBands::SetHasFooter(bool value) { m_owner.SetHasFooter(value); }

// ---- loop

TPgxLoopBand::TPgxLoopBand()
    : TPgxControllerBand(std::make_unique<TPgxLoopController>(static_cast<TPgxControllerBand *>(nullptr)),
                         TPgxBandType::rbSubDetail)
{
}

QString TPgxLoopBand::BandTypeName() const
{
    return QString::fromStdString(report::PgxLoadStr(report::SpgxLoopBandType));
}

void TPgxLoopController::RegisterBands()
{
    if (m_report)
        RegisterAroundBand(m_band);
}

void TPgxLoopController::Execute()
{
    for (int i = 0; i < PrintCount; ++i) {
        // A cancelled run stops at the next turn, as a data-set controller does.
        if (RunCancelled())
            break;
        m_count = i;
        UpdateLocalVar();
        PrintBeforeControllers();
        PrintBand(m_band);
        PrintAfterControllers();
    }
    m_count = 0;
}

TPgxEvResult TPgxLoopController::LocalVarValue() const
{
    return TPgxEvResult::Int(m_count);
}

// ---- strings

TPgxStringsBand::TPgxStringsBand()
    : TPgxControllerBand(std::make_unique<TPgxStringsController>(static_cast<TPgxControllerBand *>(nullptr)),
                         TPgxBandType::rbSubDetail)
{
}

QString TPgxStringsBand::BandTypeName() const
{
    return QString::fromStdString(report::PgxLoadStr(report::SpgxStringsBandType));
}

QString TPgxStringsBand::GetItem() const
{
    const int i = GetIndex();
    return i >= 0 && i < Items().size() ? Items()[i] : QString();
}

void TPgxStringsController::RegisterBands()
{
    if (m_report)
        RegisterAroundBand(m_band);
}

void TPgxStringsController::Execute()
{
    // The list is read by count each turn: a handler that empties it ends the loop.
    for (int i = 0; i < Items.size(); ++i) {
        if (RunCancelled())
            break;
        m_index = i;
        UpdateLocalVar();
        PrintBeforeControllers();
        PrintBand(m_band);
        PrintAfterControllers();
    }
    m_index = -1;
}

TPgxEvResult TPgxStringsController::LocalVarValue() const
{
    if (m_index < 0 || m_index >= Items.size())
        return TPgxEvResult::String({});
    return TPgxEvResult::String(Items[m_index].left(255).toStdString());
}

} // namespace strandel
