// Saving a text file without losing what was there: an append that fails is
// cut back to the old size, and a replacement is written to a temporary file
// that is renamed over the old one only once it is complete.
#pragma once

#include <string>

namespace kps {

// Writes `text` to the file at `path`: after the existing content when
// `append` (creating a missing file), otherwise as the file's whole content.
// Returns an empty string on success, otherwise a message for the user:
// "Cannot write the <what> "<path>": <reason>". A failed write leaves an
// existing file as it was whenever the system allows it; an append never
// truncates.
std::string SaveTextFile(const std::string& path, const std::string& text, bool append,
                         const std::string& what);

}  // namespace kps
