#pragma once
// The user-visible texts that the page store, the progress form and the export filters show.
// They live in this one place so that they follow the engine's named strings.
#include <QString>

namespace strandel::pgxtexts {

QString Completed();                 // after the percentage on the progress form
QString PgxFile();                   // the report file's entry in the save dialog
QString AbstractFilterDescription();
QString AbstractFilterName();
QString VendorName();

} // namespace strandel::pgxtexts
