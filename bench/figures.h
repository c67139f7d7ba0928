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

/// The middle half of a set of samples: the median and the first and third quartiles
/// (linear between the samples). An empty set gives all zeros.
struct Quartiles {
    double median{0};
    double first{0};
    double third{0};
};
Quartiles QuartilesOf(std::vector<double> samples);

/// The tool's samples and the floor's, taken in turns, and the system CPU each call used
/// (when a clock for it was given).
struct Pairs {
    std::vector<double> tool;
    std::vector<double> floor;
    std::vector<double> toolSystem;
    std::vector<double> floorSystem;

    /// The tool's figure over the floor's, pair by pair.
    std::vector<double> ratios() const;
};

/// Runs `tool` and `floor` in turns, `warmUp` times each unrecorded and then `repeats` times
/// each recorded, in the order tool, floor, floor, tool, ... (ABBA), so that a machine
/// growing busier or quieter weighs on both alike. Each call returns the figure it measured;
/// `systemClock`, when given, is read around each call.
Pairs RunInTurns(int warmUp, int repeats, const std::function<double()>& tool,
                 const std::function<double()>& floor, const std::function<double()>& systemClock = {});

/// One line of the table of paired rows: both medians with their interquartile ranges, the
/// median of the per-pair ratios with its own, the goal for it and whether it is met, and
/// the median system CPU of each side with their ratio against `systemGoal` (none when 0).
std::string PairedRow(const std::string& what, const Pairs& pairs, double goal, double systemGoal);

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
