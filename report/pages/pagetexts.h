#pragma once
// The engine's named strings that the progress form and the export filters show, as QStrings.
#include <QString>

namespace strandel::pgxtexts {

QString Completed();                 // after the percentage on the progress form
QString PgxFile();                   // the report file's entry in the save dialog
QString AbstractFilterDescription();
QString AbstractFilterName();
QString VendorName();

} // namespace strandel::pgxtexts
