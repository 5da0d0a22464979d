#pragma once
// One address-book entry: how to reach one recorder. 344 bytes in "Strandel.lst".
#include <array>
#include <cstdint>
#include <string_view>

namespace strandel {

enum class DvrKind : uint8_t { Network = 0, Rs232c = 1, Rs485 = 2, RecordedFile = 3, RecorderDisk = 4 };

struct DvrListRecord {
    static constexpr int kSize = 344;

    uint8_t kind = 0;            // DvrKind
    uint8_t serialPort = 0;      // 0 none, n = COM n
    std::array<uint8_t, 4> ip{}; // first octet first
    std::array<uint8_t, 6> mac{};
    uint8_t driveNumber = 0;     // recorder disk: the physical drive picked
    uint8_t useIpServer = 0;     // 1 = ask the address server first
    int32_t port = 0;
    int32_t baudRate = 0;
    std::array<char, 17> user{};
    std::array<char, 17> password{};
    std::array<char, 32> name{};
    std::array<char, 128> description{};
    std::array<char, 128> folder{};

    DvrKind Kind() const { return DvrKind(kind); }

    // Field by field, little-endian; Read needs kSize bytes.
    static DvrListRecord Read(const uint8_t *p);
    void Write(uint8_t *p) const;
};

// Copies text into a fixed NUL-terminated field, cutting it so the last byte stays NUL.
template <size_t N> void SetField(std::array<char, N> &field, const char *text)
{
    field.fill(0);
    for (size_t i = 0; i + 1 < N && text && text[i]; ++i)
        field[i] = text[i];
}
// The text of a fixed field, never reading past it even when no NUL is inside.
template <size_t N> std::string_view FieldText(const std::array<char, N> &field)
{
    size_t n = 0;
    while (n < N && field[n])
        ++n;
    return {field.data(), n};
}

} // namespace strandel
