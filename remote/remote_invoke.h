// The remote-invoke worker: one command file in, one response file out.
#pragma once

#include <cstdint>

#include "knowledge/scan_context.h"
#include "records/remote_command.h"

int32_t RunRemoteCommand(const char16_t* commandFile, const char16_t* responseFile,
                         ScanContext& context);
