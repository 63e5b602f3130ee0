// Statistics of a set of readings, as an engineer characterising the sensor
// asks for them: how many, the mean, the sample standard deviation, the
// extremes and the peak-to-peak, for proximity, ALS/IR and lux. Running sums
// only (Welford's update), so a statistic over a million readings costs what
// one over ten does and allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kps {

// One quantity's running statistics.
class RunningStats {
 public:
  void Add(double value);
  void Clear() { *this = RunningStats(); }

  int64_t count() const { return count_; }
  // NaN while there is nothing to say: no reading (mean, min, max, pp), fewer
  // than two (sd).
  double mean() const;
  double sd() const;  // the sample standard deviation, n - 1
  double min() const;
  double max() const;
  double peakToPeak() const;

 private:
  int64_t count_ = 0;
  double shift_ = 0;  // the first reading; mean_ and m2_ are about it
  double mean_ = 0;
  double m2_ = 0;  // sum of squared distances from the running mean
  double min_ = 0;
  double max_ = 0;
};

// The three quantities of a set of readings. Lux counts only the readings
// whose lux is known (in range, not in IR mode).
struct ReadingStats {
  RunningStats prox;
  RunningStats alsIr;
  RunningStats lux;

  void Add(double proxCount, double alsIrCount, std::optional<double> luxValue);
  void Clear();
};

// The quantities in the order they are shown, with the key their fields are
// named by ("prox_mean") and the caption a person reads.
struct StatQuantity {
  const char* key;
  const char* caption;
  RunningStats ReadingStats::*stats;
};
inline constexpr std::array<StatQuantity, 3> kStatQuantities{{
    {"prox", "Proximity", &ReadingStats::prox},
    {"als_ir", "ALS/IR", &ReadingStats::alsIr},
    {"lux", "Lux", &ReadingStats::lux},
}};

// The figures of one quantity, in the order they are shown, with their field
// names: n, mean, sd, min, max, pp.
enum class StatFigure { N, Mean, Sd, Min, Max, Pp };
inline constexpr std::array<StatFigure, 6> kStatFigures{StatFigure::N,   StatFigure::Mean,
                                                        StatFigure::Sd,  StatFigure::Min,
                                                        StatFigure::Max, StatFigure::Pp};
const char* StatFigureName(StatFigure figure);  // "n", "mean", ...
double StatFigureValue(const RunningStats& stats, StatFigure figure);

// How every front end writes a figure: at most three decimals, trailing zeros
// and a trailing point dropped ("26", "25.5", "1.291", "-0.5"); empty for NaN
// (no readings, or one reading's sd).
std::string StatNumber(double value);

}  // namespace kps
