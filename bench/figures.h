#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

/// The middle of a set of samples and how far they spread.
struct Summary {
    double median{0};
    double low{0};
    double high{0};
};

/// The median (the mean of the two middle samples for an even count), the smallest and the
/// largest sample. An empty set gives all zeros.
Summary Summarise(std::vector<double> samples);

/// The tool's samples and the floor's, taken in turns.
struct Pairs {
    std::vector<double> tool;
    std::vector<double> floor;
};

/// Runs `tool` and `floor` in turns, `warmUp` times each unrecorded and then `repeats` times
/// each recorded, so that a machine growing busier or quieter weighs on both alike. Each
/// call returns the figure it measured.
Pairs RunInTurns(int warmUp, int repeats, const std::function<double()>& tool,
                 const std::function<double()>& floor);

/// One line of the table: both medians with their spread, the tool's median over the
/// floor's, the goal for that ratio and whether it is met. `unit` follows each figure.
std::string TableRow(const std::string& what, const std::string& unit, const Summary& tool,
                     const Summary& floor, double goal);

/// Milliseconds on the monotonic clock since an arbitrary start.
double NowMs();

/// "--name value" from the command line, or `fallback` when absent.
long ArgNumber(int argc, char** argv, const std::string& name, long fallback);
std::string ArgText(int argc, char** argv, const std::string& name, const std::string& fallback);

} // namespace bench
