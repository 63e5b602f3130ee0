#include "acquisition/measurement_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "core/text.h"
#include "core/text_file.h"

namespace kps {

namespace {

constexpr const char* kLineEnd = "\r\n";

std::string Count(double value) {
  return SignedBlank(RoundHalfEven(value));
}

}  // namespace

int RecordedSampleCount(std::size_t historySize, int sampleIndex) {
  const long long end = std::min<long long>(sampleIndex, static_cast<long long>(historySize));
  return static_cast<int>(std::max<long long>(end - kFirstRecordedSample, 0));
}

std::string MeasurementBlock(const MeasurementHeader& header, std::span<const double> prox,
                             std::span<const double> als, int sampleIndex) {
  const int count = RecordedSampleCount(std::min(prox.size(), als.size()), sampleIndex);
  std::string block;
  block.reserve(160 + static_cast<std::size_t>(count) * 24);
  block += "Collect Reg0:&h" + header.reg0 + " :Reg1 &h" + header.reg1 + ",Interval " +
           header.interval + ", " + DateText(header.time) + "," + TimeText(header.time) + ", Qty" +
           SignedBlank(count) + kLineEnd;
  block += "Measurement#,Proximity (8-bit),ALS/IR (12-bit)";
  block += kLineEnd;
  for (int n = 0; n < count; ++n) {
    const std::size_t slot = static_cast<std::size_t>(kFirstRecordedSample + n);
    block += SignedBlank(n) + "," + Count(prox[slot]) + "," + Count(als[slot]) + kLineEnd;
  }
  block += "END";
  block += kLineEnd;
  return block;
}

std::string WriteMeasurementFile(const std::string& path, const std::string& block, bool append) {
  return SaveTextFile(path, block, append, "measurement file");
}

}  // namespace kps
