// The USB identity of the evaluation board that the program looks for by
// default (`--usb-id VVVV:PPPP` overrides it). Keep contrib/60-kps-eval.rules in step.
#pragma once

#include <cstdint>

namespace kps {

inline constexpr uint16_t kDefaultVendorId = 0x1209;
inline constexpr uint16_t kDefaultProductId = 0xA710;

}  // namespace kps
