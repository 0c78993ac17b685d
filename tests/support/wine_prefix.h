// Throw-away Wine prefixes for the tests that take Wine itself as the peer
// (Linux only): made in /tmp, their server stopped and their folder removed
// on every way out.
#pragma once

#include <string>

namespace testsys {

// The environment variable's value, or fallback when it is unset or empty.
std::string FromEnvironment(const char* name, const std::string& fallback);

// The whole of a file of the host ("" when it cannot be read).
std::string ReadHostFile(const std::string& path);

class WinePrefix {
 public:
  // arch: "win32" or "win64"; tag names the folder (/tmp/<tag>-XXXXXX).
  WinePrefix(const std::string& arch, const std::string& tag);
  virtual ~WinePrefix();
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  // Empty when the folder could not be made.
  const std::string& root() const { return root_; }
  // The variables that point Wine at this prefix, ready to stand before a
  // shell command.
  std::string Environment() const;
  // Runs a shell command on this prefix, its output discarded; the exit code.
  int Run(const std::string& command) const;
  // Runs a shell command on this prefix; its standard output.
  std::string Output(const std::string& command) const;

 private:
  std::string arch_;
  std::string root_;
};

}  // namespace testsys
