#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

// What every benchmark prints: one ROW line per figure, for bench/run to
// collect into its table. Anything else goes to stderr.
namespace BenchReport {
using Clock = std::chrono::steady_clock;

struct Summary
{
    std::size_t count = 0;
    double median = 0;
    double p95 = 0;
    double min = 0;
    double max = 0;
};

Summary summarize(std::vector<double> samples);
double milliseconds(Clock::duration duration);
// Fixed-point text with the given number of decimals.
std::string number(double value, int decimals = 1);
void row(const std::string& name, const std::string& figure, const std::string& target);
} // namespace BenchReport
