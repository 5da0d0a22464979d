#pragma once
// Inside the stored-form registry: the printable classes it starts with.
#include <vector>

#include "report/formclasses.h"

namespace strandel {

void PgxAddPrintableFormClasses(std::vector<TPgxFormClass> &classes);

} // namespace strandel
