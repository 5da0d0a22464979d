#pragma once
// The in-suite half of a fuzz target: its committed seeds, then mutations of them (pieces of the
// syntax inserted, bytes erased or changed), each handed to the target's entry.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace strandel::test {

inline std::vector<std::string> ReadSeeds(const std::string &dir)
{
    std::vector<std::string> seeds;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return seeds;
}

struct Mutation {
    uint32_t seed;     // of the random sequence, so a run repeats
    int rounds;        // mutated inputs after the seeds themselves
    int maxEdits;      // edits per input, 1 to this
    size_t maxErase;   // bytes one erase takes, 1 to this
};

template <size_t N, class Entry>
void RunSeedsAndMutations(const std::vector<std::string> &seeds, const char *const (&pieces)[N], const Mutation &m,
                          Entry entry)
{
    std::mt19937 rng(m.seed);
    for (const std::string &s : seeds)
        entry(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    for (int round = 0; round < m.rounds; ++round) {
        std::string s = seeds[rng() % seeds.size()];
        const int edits = 1 + int(rng() % uint32_t(m.maxEdits));
        for (int e = 0; e < edits; ++e) {
            const size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
            switch (rng() % 3) {
            case 0: s.insert(at, pieces[rng() % N]); break;
            case 1: if (at < s.size()) s.erase(at, 1 + rng() % m.maxErase); break;
            default: if (at < s.size()) s[at] = char(rng()); break;
            }
        }
        entry(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    }
}

} // namespace strandel::test
