// The program's name and version, as the about box and every message box show them.
#pragma once

namespace kps {

inline constexpr const char* kAppTitle = "Norvale KPS7110/20/60 ALS GUI";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 13;
inline constexpr const char* kVersionText = "1.0.13";
inline constexpr const char* kAppDescription = "";

}  // namespace kps
