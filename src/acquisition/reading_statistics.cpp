#include "acquisition/reading_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kps {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

void RunningStats::Add(double value) {
  ++count_;
  if (count_ == 1) {
    // Distances are counted from the first reading, so that a level far from
    // zero (a count near full scale, a large lux) costs no precision.
    shift_ = min_ = max_ = value;
    mean_ = m2_ = 0;
    return;
  }
  // Welford: the mean moves by a share of the new distance, and the squared
  // distances grow by the old distance times the new one, so no large sums
  // are ever subtracted from one another.
  min_ = std::min(min_, value);
  max_ = std::max(max_, value);
  const double x = value - shift_;
  const double delta = x - mean_;
  mean_ += delta / static_cast<double>(count_);
  m2_ += delta * (x - mean_);
}

double RunningStats::mean() const {
  return count_ > 0 ? shift_ + mean_ : kNaN;
}

double RunningStats::sd() const {
  if (count_ < 2) return kNaN;
  return std::sqrt(std::max(m2_, 0.0) / static_cast<double>(count_ - 1));
}

double RunningStats::min() const {
  return count_ > 0 ? min_ : kNaN;
}

double RunningStats::max() const {
  return count_ > 0 ? max_ : kNaN;
}

double RunningStats::peakToPeak() const {
  return count_ > 0 ? max_ - min_ : kNaN;
}

void ReadingStats::Add(double proxCount, double alsIrCount, std::optional<double> luxValue) {
  prox.Add(proxCount);
  alsIr.Add(alsIrCount);
  if (luxValue && std::isfinite(*luxValue)) lux.Add(*luxValue);
}

void ReadingStats::Clear() {
  prox.Clear();
  alsIr.Clear();
  lux.Clear();
}

const char* StatFigureName(StatFigure figure) {
  switch (figure) {
    case StatFigure::N:
      return "n";
    case StatFigure::Mean:
      return "mean";
    case StatFigure::Sd:
      return "sd";
    case StatFigure::Min:
      return "min";
    case StatFigure::Max:
      return "max";
    case StatFigure::Pp:
      return "pp";
  }
  return "";
}

double StatFigureValue(const RunningStats& stats, StatFigure figure) {
  switch (figure) {
    case StatFigure::N:
      return static_cast<double>(stats.count());
    case StatFigure::Mean:
      return stats.mean();
    case StatFigure::Sd:
      return stats.sd();
    case StatFigure::Min:
      return stats.min();
    case StatFigure::Max:
      return stats.max();
    case StatFigure::Pp:
      return stats.peakToPeak();
  }
  return kNaN;
}

std::string StatNumber(double value) {
  if (!std::isfinite(value)) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string s(text);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

}  // namespace kps
