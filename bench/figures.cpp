#include "figures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace bench {

Summary Summarise(std::vector<double> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    const double median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    return {median, samples.front(), samples.back()};
}

Pairs RunInTurns(int warmUp, int repeats, const std::function<double()>& tool,
                 const std::function<double()>& floor)
{
    for (int i = 0; i < warmUp; ++i) {
        tool();
        floor();
    }
    Pairs pairs;
    for (int i = 0; i < repeats; ++i) {
        // Alternate which goes first, so neither always runs right after the other.
        if (i % 2 == 0) {
            pairs.tool.push_back(tool());
            pairs.floor.push_back(floor());
        } else {
            pairs.floor.push_back(floor());
            pairs.tool.push_back(tool());
        }
    }
    return pairs;
}

namespace {

std::string figure(const std::string& unit, const Summary& s)
{
    char text[128];
    const char* format = s.median >= 100 ? "%.0f %s (%.0f-%.0f)" : "%.1f %s (%.1f-%.1f)";
    std::snprintf(text, sizeof text, format, s.median, unit.c_str(), s.low, s.high);
    return text;
}

} // namespace

std::string TableRow(const std::string& what, const std::string& unit, const Summary& tool,
                     const Summary& floor, double goal)
{
    const double ratio = floor.median > 0 ? tool.median / floor.median : 0;
    char tail[96];
    std::snprintf(tail, sizeof tail, " | %.2f | at most %.2f | %s |", ratio, goal,
                  floor.median > 0 && ratio <= goal ? "met" : "MISSED");
    return "| " + what + " | " + figure(unit, tool) + " | " + figure(unit, floor) + tail;
}

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::string ArgText(int argc, char** argv, const std::string& name, const std::string& fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == name)
            return argv[i + 1];
    }
    return fallback;
}

long ArgNumber(int argc, char** argv, const std::string& name, long fallback)
{
    const std::string text = ArgText(argc, argv, name, "");
    return text.empty() ? fallback : std::strtol(text.c_str(), nullptr, 10);
}

} // namespace bench
