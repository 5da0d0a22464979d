#include "report/pages/pagetexts.h"

#include "report/base/strings.h"

namespace strandel::pgxtexts {

namespace {
QString Load(uint16_t id) { return QString::fromStdString(report::PgxLoadStr(id)); }
} // namespace

QString Completed() { return Load(report::SpgxCompleted); }
QString PgxFile() { return Load(report::SpgxPgxFile); }
QString AbstractFilterDescription() { return Load(report::SpgxAbstractFilterDescription); }
QString AbstractFilterName() { return Load(report::SpgxAbstractFilterName); }
QString VendorName() { return Load(report::PgxVendorStringId); }

} // namespace strandel::pgxtexts
