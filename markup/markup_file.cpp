// Opening the output file of MarkupDoc::Save. Windows opens the path as it
// is; Linux maps the Windows path into the current system image.
#include "markup/markup_file.h"

#include <cerrno>
#include <string>

#ifdef _WIN32
#include <wchar.h>
#else
#include "markup/markup_text.h"
#include "platform/linux/system_image.h"
#endif

namespace markup_file {

std::FILE* OpenForWriting(const char16_t* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
#ifdef _WIN32
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
  return _wfopen(reinterpret_cast<const wchar_t*>(path), L"wb");
#else
  std::string hostPath = platform::image::HostPath(path);
  if (hostPath.empty() && path[0] == u'/') {
    // A host path given as it is (no drive letter to map).
    size_t length = 0;
    while (path[length] != 0) ++length;
    hostPath = markup_text::ToUtf8(path, length);
  }
  if (hostPath.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  return std::fopen(hostPath.c_str(), "wb");
#endif
}

}  // namespace markup_file
