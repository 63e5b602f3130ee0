// The measurement file: the text block of one recording and its safe writing
// to disk, appended to the file or replacing it.
#pragma once

#include <span>
#include <string>

#include "core/text.h"
#include "core/toolkit.h"

namespace kps {

// What the header line of a recording shows besides the quantity.
struct MeasurementHeader {
  // The texts of the two register boxes and of the interval box, unchecked.
  std::string reg0, reg1, interval;
  LocalTime time;
};

// The place, oldest first, of the first history sample that is written. The
// ones before it are the start of a collection (never drawn, never recorded),
// or once the history is full its oldest samples, so that a file holds at most
// the newest history size - 11.
inline constexpr int kFirstRecordedSample = 11;

// One recording: the header line (ending in ", Qty N"), the column titles, one
// line per history sample 11 .. sampleIndex - 1 (oldest first) numbered from
// 0, and "END"; each line ended by CR LF. `prox` and `als` hold whole counts;
// a value that is not whole is rounded half to even. A sampleIndex past the end of either history
// is held at the shorter one's size, and one below 11 gives no sample lines.
std::string MeasurementBlock(const MeasurementHeader& header, std::span<const double> prox,
                             std::span<const double> als, int sampleIndex);

// The number of sample lines MeasurementBlock writes for these histories.
int RecordedSampleCount(std::size_t historySize, int sampleIndex);

// Writes `block` to the file at `path`: after the existing content when
// `append` (creating a missing file), otherwise as the file's whole content.
// Returns an empty string on success, otherwise a message for the user naming
// the file and the reason. A failed write leaves an existing file as it was
// whenever the system allows it; an append never truncates.
std::string WriteMeasurementFile(const std::string& path, const std::string& block, bool append);

}  // namespace kps
