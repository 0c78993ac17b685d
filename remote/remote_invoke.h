// The remote-invoke worker and its command-file reader.
#pragma once

#include <cstdint>

#include "knowledge/scan_context.h"
#include "records/remote_command.h"

int32_t RunRemoteCommand(const char16_t* commandFile, const char16_t* responseFile,
                         ScanContext& context);
int ReadCommandName(const char16_t* commandFile, char16_t* name);  // name: 260 units
int ReadCommandFile(const char16_t* commandFile, RemoteCommand& command);
void FreeRemoteCommand(RemoteCommand* command);
