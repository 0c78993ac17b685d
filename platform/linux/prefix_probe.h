// What can be learnt about a Wine prefix without loading the module: where
// the image is when none is named, and whether a Wine server holds it. The
// backend refuses registry writes on what this finds, and the reference host
// uses the same code to tell the user which server to stop.
#pragma once

#include <string>

namespace platform {
namespace prefix {

// RUNVANE_SYSTEM_ROOT, else WINEPREFIX, else ~/.wine (trailing slashes cut).
std::string DefaultRoot();

enum class ServerState {
  kNone,     // no server holds the prefix
  kRunning,  // a server holds it: its files may be behind what it keeps in memory
  kUnknown,  // a server could not be ruled out (a lock or a process could not be inspected)
};

struct ServerFinding {
  ServerState state = ServerState::kNone;
  std::string folder;  // the server's folder, when known
  long pid = 0;        // the server's process, when known
  std::string reason;  // why the state is kUnknown
};

// Looks for the server of the prefix at root (followed through symbolic
// links) where Wine puts it: in $TMPDIR and /tmp, upstream's
// .wine-<uid>/server-<dev>-<ino> and Debian's wine-XXXXXX/server-<dev>-<ino>
// (the folder the prefix's "wineserver" file names among them), and the
// working folder of every running wineserver process.
ServerFinding FindServer(const std::string& root);

// One line for the user: which server holds the prefix and how to stop it.
std::string DescribeServer(const std::string& root, const ServerFinding& finding);

}  // namespace prefix
}  // namespace platform
