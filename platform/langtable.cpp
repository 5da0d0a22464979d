#include "langtable.h"

#include "debuglog.h"

#include <cstdio>
#include <cstring>

namespace strandel {

void LangTable::Clear()
{
    for (auto &l : lines_)
        l.clear();
    count_ = 0;
}

bool LangTable::Load(const std::string &path)
{
    Clear();
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        DebugPrint("Lang: cannot open %s, messages stay empty", path.c_str());
        return false;
    }
    // One read of at most 1023 characters per line; a longer line goes on as the next one.
    char buf[kMaxLineChars + 1];
    while (count_ < kLines && std::fgets(buf, sizeof buf, f)) {
        size_t len = std::strlen(buf);
        if (len > 0 && buf[len - 1] == '\n')
            --len;
        if (len > 0 && buf[len - 1] == '\r')
            --len;
        lines_[count_++].assign(buf, len);
    }
    std::fclose(f);
    return true;
}

const std::string &LangTable::Line(int i) const
{
    static const std::string empty;
    return (i >= 0 && i < kLines) ? lines_[i] : empty;
}

LangTable &GetLangTable()
{
    static LangTable table;
    return table;
}

} // namespace strandel
