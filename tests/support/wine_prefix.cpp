#include "tests/support/wine_prefix.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace testsys {

std::string FromEnvironment(const char* name, const std::string& fallback) {
  const char* value = getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

WinePrefix::WinePrefix(const std::string& arch, const std::string& tag) : arch_(arch) {
  std::string pattern = "/tmp/" + tag + "-XXXXXX";
  std::vector<char> folder(pattern.begin(), pattern.end());
  folder.push_back('\0');
  if (mkdtemp(folder.data()) != nullptr) root_ = folder.data();
}

WinePrefix::~WinePrefix() {
  if (root_.empty()) return;
  Run("wineserver -k");
  Run("wineserver -w");
  std::system(("rm -rf '" + root_ + "'").c_str());
}

std::string WinePrefix::Environment() const {
  return "WINEARCH=" + arch_ + " WINEPREFIX='" + root_ +
         "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' DISPLAY= ";
}

int WinePrefix::Run(const std::string& command) const {
  return std::system((Environment() + command + " >/dev/null 2>&1").c_str());
}

std::string WinePrefix::Output(const std::string& command) const {
  std::string out;
  FILE* pipe = popen((Environment() + command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

}  // namespace testsys
