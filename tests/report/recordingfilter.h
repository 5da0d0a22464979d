#pragma once
// An export filter that logs what a run hands it: page starts and ends, and each band with the
// position it was placed at.
#include <string>
#include <vector>

#include "report/bands/band.h"
#include "report/output/exportfilter.h"

namespace strandel::test {

class RecordingFilter : public TPgxExportFilter
{
public:
    RecordingFilter() : TPgxExportFilter(QStringLiteral("rec")) {}
    std::vector<std::string> calls;
    void Start(double w, double h, const PgxFont &) override
    {
        Active = true;
        calls.push_back("Start " + std::to_string(int(w)) + "x" + std::to_string(int(h)));
    }
    void EndPage() override { calls.push_back("EndPage"); }
    void NewPage() override { calls.push_back("NewPage"); }
    void Finish() override
    {
        Active = false;
        calls.push_back("Finish");
    }
    void AcceptBand(TPgxCustomBand *band, double, double y, double) override
    {
        calls.push_back(PgxBandTypeName(band->BandType()).toStdString() + "@" + std::to_string(int(y)));
    }
};

} // namespace strandel::test
