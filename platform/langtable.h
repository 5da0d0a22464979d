#pragma once
// The language table: up to 100 message lines from "Lang.txt".
#include <array>
#include <string>

namespace strandel {

class LangTable {
public:
    static constexpr int kLines = 100;
    static constexpr int kMaxLineChars = 1023;

    // Loads the file; a file that cannot be opened leaves every line empty and returns false.
    bool Load(const std::string &path);
    void Clear();
    // Empty text for a line that is missing or out of range.
    const std::string &Line(int i) const;
    int Count() const { return count_; }

private:
    std::array<std::string, kLines> lines_;
    int count_ = 0;
};

LangTable &GetLangTable();

} // namespace strandel
