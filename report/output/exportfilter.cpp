#include "report/output/exportfilter.h"

#include "report/pages/pagetexts.h"

namespace strandel {

QString TPgxExportFilter::GetDescription() { return pgxtexts::AbstractFilterDescription(); }
QString TPgxExportFilter::GetExtension() { return {}; }
QString TPgxExportFilter::GetFilterName() { return pgxtexts::AbstractFilterName(); }
QString TPgxExportFilter::GetVendorName() { return pgxtexts::VendorName(); }
bool TPgxExportFilter::GetStreaming() { return false; }

void TPgxExportFilter::Start(double, double, const PgxFont &)
{
    Active = true;
}

void TPgxExportFilter::Finish()
{
    Active = false;
}

void TPgxExportFilter::AcceptGraphic(double, double, TPgxPrintable *) {}
void TPgxExportFilter::AcceptBand(TPgxCustomBand *, double, double, double) {}
void TPgxExportFilter::TextOut(double, double, const PgxFont &, QRgb, PgxAlignment, const QString &) {}

void TPgxExportFilterLibrary::AddFilter(const TPgxExportFilterClass &filterClass)
{
    auto probe = filterClass(QString());
    m_entries.push_back({filterClass, probe->GetFilterName(), probe->GetExtension()});
}

void TPgxExportFilterLibrary::RemoveFilter(const TPgxExportFilterClass &filterClass)
{
    auto probe = filterClass(QString());
    const QString name = probe->GetFilterName();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->FilterName == name) {
            m_entries.erase(it);
            return;
        }
    }
}

QString TPgxExportFilterLibrary::GetSaveDialogFilter() const
{
    QString f = pgxtexts::PgxFile() + QStringLiteral("(*.Pgx)|*.Pgx");
    for (auto &e : m_entries)
        f += QStringLiteral("|%1 (*.%2)|*.%2").arg(e.FilterName, e.Extension);
    return f;
}

TPgxExportFilterLibrary &PgxExportFilterLibrary()
{
    static TPgxExportFilterLibrary library;
    return library;
}

} // namespace strandel
