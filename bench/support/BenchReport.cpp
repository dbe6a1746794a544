#include "BenchReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace BenchReport {

Summary summarize(std::vector<double> samples)
{
    Summary summary;
    summary.count = samples.size();
    if (samples.empty())
        return summary;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    summary.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    // Nearest rank, so p95 is always a measured value.
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n)));
    summary.p95 = samples[std::max<std::size_t>(rank, 1) - 1];
    summary.min = samples.front();
    summary.max = samples.back();
    return summary;
}

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::string number(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void row(const std::string& name, const std::string& figure, const std::string& target)
{
    std::printf("ROW\t%s\t%s\t%s\n", name.c_str(), figure.c_str(), target.c_str());
    std::fflush(stdout);
}

} // namespace BenchReport
