#include "report/bands/pagorrabands.h"

#include "report/bands/pagorra.h"

namespace strandel {

bool TPagorraBands::BandTypeOf(int index, TPgxBandType &type)
{
    switch (index) {
    case Title: type = TPgxBandType::rbTitle; return true;
    case PageHeader: type = TPgxBandType::rbPageHeader; return true;
    case ColumnHeader: type = TPgxBandType::rbColumnHeader; return true;
    case Detail: type = TPgxBandType::rbDetail; return true;
    case PageFooter: type = TPgxBandType::rbPageFooter; return true;
    case Summary: type = TPgxBandType::rbSummary; return true;
    default: return false;
    }
}

TPgxCustomBand *TPagorraBands::BandInList(TPgxBandType type) const
{
    return m_report ? m_report->BandOfType(type) : nullptr;
}

TPgxCustomBand *TPagorraBands::GetBand(int index) const
{
    TPgxBandType type;
    return BandTypeOf(index, type) ? BandInList(type) : nullptr;
}

void TPagorraBands::SetHasBand(int index, bool value)
{
    TPgxBandType type;
    if (BandTypeOf(index, type))
        SetBand(type, value);
}

void TPagorraBands::SetBand(TPgxBandType type, bool value)
{
    if (!m_report)
        return;
    TPgxCustomBand *band = BandInList(type);
    if ((band != nullptr) == value)
        return;
    if (value)
        m_report->CreateBand(type);
    else
        m_report->RemoveBand(band);
}

} // namespace strandel
