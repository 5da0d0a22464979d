#pragma once
// Inside the stored-form registry: the printable classes it starts with.
#include <cstddef>
#include <vector>

#include "report/stored/formclasses.h"

namespace strandel {

// Enumerations stored by name, shared by the report and the printable classes.
inline constexpr const char *PgxAlignmentNames[] = {"taLeftJustify", "taRightJustify", "taCenter"};
inline constexpr const char *PgxPenStyleNames[] = {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear"};

template <size_t N> TPgxFormValue PgxEnumValue(const char *const (&names)[N], int v)
{
    return TPgxFormValue::Ident(QLatin1String(v >= 0 && size_t(v) < N ? names[v] : names[0]));
}

// The position of an identifier among the names, in any case.
template <size_t N> bool PgxEnumFrom(const TPgxFormValue &v, const char *const (&names)[N], int &out)
{
    if (v.kind != TPgxFormValue::Kind::Ident)
        return false;
    for (size_t i = 0; i < N; ++i)
        if (v.text.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
            out = int(i);
            return true;
        }
    return false;
}

void PgxAddPrintableFormClasses(std::vector<TPgxFormClass> &classes);

} // namespace strandel
