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

Quartiles QuartilesOf(std::vector<double> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double share) {
        const double place = share * static_cast<double>(samples.size() - 1);
        const auto below = static_cast<std::size_t>(place);
        const std::size_t above = std::min(below + 1, samples.size() - 1);
        return samples[below] + (samples[above] - samples[below]) * (place - static_cast<double>(below));
    };
    return {at(0.5), at(0.25), at(0.75)};
}

std::vector<double> Pairs::ratios() const
{
    std::vector<double> r;
    for (std::size_t i = 0; i < tool.size() && i < floor.size(); ++i)
        r.push_back(floor[i] > 0 ? tool[i] / floor[i] : 0);
    return r;
}

Pairs RunInTurns(int warmUp, int repeats, const std::function<double()>& tool,
                 const std::function<double()>& floor, const std::function<double()>& systemClock)
{
    for (int i = 0; i < warmUp; ++i) {
        tool();
        floor();
    }
    Pairs pairs;
    const auto run = [&](const std::function<double()>& what, std::vector<double>& figures,
                         std::vector<double>& system) {
        const double before = systemClock ? systemClock() : 0;
        figures.push_back(what());
        if (systemClock)
            system.push_back(systemClock() - before);
    };
    for (int i = 0; i < repeats; ++i) {
        // Alternate which goes first, so neither always runs right after the other.
        if (i % 2 == 0) {
            run(tool, pairs.tool, pairs.toolSystem);
            run(floor, pairs.floor, pairs.floorSystem);
        } else {
            run(floor, pairs.floor, pairs.floorSystem);
            run(tool, pairs.tool, pairs.toolSystem);
        }
    }
    return pairs;
}

std::string PairedRow(const std::string& what, const Pairs& pairs, double goal, double systemGoal)
{
    const Quartiles tool = QuartilesOf(pairs.tool), floor = QuartilesOf(pairs.floor);
    const Quartiles ratio = QuartilesOf(pairs.ratios());
    const double toolSystem = QuartilesOf(pairs.toolSystem).median;
    const double floorSystem = QuartilesOf(pairs.floorSystem).median;
    const double systemRatio = floorSystem > 0 ? toolSystem / floorSystem : 0;
    char text[512];
    std::snprintf(
        text, sizeof text,
        "| %s | %zu | %.0f ms (%.0f-%.0f) | %.0f ms (%.0f-%.0f) | %.2f (%.2f-%.2f) | at most %.2f | %s "
        "| %.0f ms / %.0f ms = %.2f",
        what.c_str(), pairs.ratios().size(), tool.median, tool.first, tool.third, floor.median, floor.first,
        floor.third, ratio.median, ratio.first, ratio.third, goal,
        !pairs.tool.empty() && ratio.median > 0 && ratio.median <= goal ? "met" : "MISSED", toolSystem,
        floorSystem, systemRatio);
    std::string row = text;
    if (systemGoal > 0) {
        std::snprintf(text, sizeof text, " (at most %.2f: %s)", systemGoal,
                      floorSystem > 0 && systemRatio <= systemGoal ? "met" : "MISSED");
        row += text;
    }
    return row + " |";
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
