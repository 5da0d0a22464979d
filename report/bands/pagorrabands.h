#pragma once
// Which standard bands a report has, as six switches: turning one on creates the band on the
// report, turning it off frees the band with everything on it.
#include "report/bands/band.h"

namespace strandel {

class TCustomPagorra;

class TPagorraBands
{
public:
    // Indices of the switches; 5 has no band.
    enum Index { Title = 1, PageHeader = 2, ColumnHeader = 3, Detail = 4, PageFooter = 6, Summary = 7 };

    explicit TPagorraBands(TCustomPagorra *report) : m_report(report) {}

    // The band type of an index; false for 5 and anything outside 1..7.
    static bool BandTypeOf(int index, TPgxBandType &type);

    // The first band of the band list of that type, or nothing.
    TPgxCustomBand *BandInList(TPgxBandType type) const;
    TPgxCustomBand *GetBand(int index) const;
    bool GetHasBand(int index) const { return GetBand(index) != nullptr; }
    void SetHasBand(int index, bool value);
    void SetBand(TPgxBandType type, bool value);

    bool HasTitle() const { return GetHasBand(Title); }
    bool HasPageHeader() const { return GetHasBand(PageHeader); }
    bool HasColumnHeader() const { return GetHasBand(ColumnHeader); }
    bool HasDetail() const { return GetHasBand(Detail); }
    bool HasPageFooter() const { return GetHasBand(PageFooter); }
    bool HasSummary() const { return GetHasBand(Summary); }
    void SetHasTitle(bool v) { SetHasBand(Title, v); }
    void SetHasPageHeader(bool v) { SetHasBand(PageHeader, v); }
    void SetHasColumnHeader(bool v) { SetHasBand(ColumnHeader, v); }
    void SetHasDetail(bool v) { SetHasBand(Detail, v); }
    void SetHasPageFooter(bool v) { SetHasBand(PageFooter, v); }
    void SetHasSummary(bool v) { SetHasBand(Summary, v); }

private:
    TCustomPagorra *m_report;
};

} // namespace strandel
