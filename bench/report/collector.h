#pragma once
// Keeps one counter of every run so that a benchmark's summary can set them side by side.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class CounterCollector : public benchmark::ConsoleReporter
{
public:
    explicit CounterCollector(std::string counter) : counter_(std::move(counter)) {}
    std::map<std::string, double> values;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            auto it = r.counters.find(counter_);
            if (it != r.counters.end())
                values[r.benchmark_name()] = it->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::string counter_;
};
