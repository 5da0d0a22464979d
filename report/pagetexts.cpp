#include "report/pagetexts.h"

namespace strandel::pgxtexts {

QString Completed() { return QStringLiteral(" Completed"); }
QString PgxFile() { return QStringLiteral("Pagorra file"); }
QString AbstractFilterDescription() { return QStringLiteral("Abstract non-working export filter"); }
QString AbstractFilterName() { return QStringLiteral("Abstract filter"); }
QString VendorName() { return QStringLiteral("Holvane"); }

} // namespace strandel::pgxtexts
