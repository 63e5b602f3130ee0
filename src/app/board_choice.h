// The board both programs talk to: the simulated one when the command line
// asks for it, otherwise the real board over libusb.
#pragma once

#include <memory>

#include "board/transport.h"
#include "shell/command_line.h"

namespace kps {

std::unique_ptr<Transport> MakeTransport(const CommandLine& options);

}  // namespace kps
