// The host's exit codes, the same for every command (shown by --help).
#pragma once

namespace host {

constexpr int kExitDone = 0;         // everything asked for was done
constexpr int kExitNotDone = 1;      // some item not found, or some operation failed
constexpr int kExitUsage = 2;        // unknown command or option, missing value, extra argument, bad number
constexpr int kExitUnusable = 3;     // the system image or the module cannot be used

}  // namespace host
