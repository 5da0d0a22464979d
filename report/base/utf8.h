#pragma once
// The engine keeps its texts as UTF-8 and converts only where they meet Qt, SQL or a file.
// These count and cut such a text by character, never inside one; a stray continuation byte
// goes with the character before it, so no input makes them read past the text.
#include <cstddef>
#include <string>
#include <string_view>

namespace strandel::report {

inline bool PgxUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Bytes taken by the first n characters of s (all of s when it has fewer).
inline size_t PgxUtf8Prefix(std::string_view s, size_t n)
{
    size_t i = 0;
    for (size_t chars = 0; i < s.size(); ++i)
        if (!PgxUtf8Continuation(s[i]) && chars++ == n)
            break;
    return i;
}

inline size_t PgxUtf8Length(std::string_view s)
{
    size_t n = 0;
    for (char c : s)
        n += !PgxUtf8Continuation(c);
    return n;
}

inline std::string PgxUtf8Left(std::string_view s, size_t n)
{
    return std::string(s.substr(0, PgxUtf8Prefix(s, n)));
}

} // namespace strandel::report
