// Save: writes the document text to a file, as UTF-16 LE with a byte-order
// mark when the declaration asks for utf-16, else as UTF-8. The file is
// replaced whole or not at all (platform::ReplaceWholeFile: a new file
// beside it, renamed over it), never written through a symbolic link.
#include <cerrno>
#include <cstring>
#include <vector>

#include "markup/markup_doc.h"
#include "markup/markup_text.h"
#include "platform/file_io.h"
#include "platform/platform.h"

namespace {

std::u16string RuntimeErrorText(int error) { return markup_text::FromUtf8(std::strerror(error)); }

// The C runtime's error number for a failed file operation, as its file
// functions map the system's error.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return EIO;
  }
}

bool DeclaresUtf16(const std::u16string& text) {
  return text.find(u"encoding=\"utf-16\"") != std::u16string::npos ||
         text.find(u"encoding=\"UTF-16\"") != std::u16string::npos;
}

}  // namespace

bool MarkupDoc::Save(const char16_t* path) {
  if (path == nullptr) {
    errorText_ = RuntimeErrorText(EINVAL);
    return false;
  }
  const size_t length = text_.size();
  size_t textBytes = 0;
  std::vector<unsigned char> bytes;
  if (length != 0) {
    if (DeclaresUtf16(text_)) {
      bytes.reserve(2 * length + 2);
      bytes.push_back(0xFF);
      bytes.push_back(0xFE);
      for (char16_t c : text_) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
      }
      textBytes = 2 * length;
    } else {
      std::string utf8 = markup_text::ToUtf8(text_.data(), length);
      bytes.assign(utf8.begin(), utf8.end());
      textBytes = utf8.size();
    }
  }
  if (!platform::ReplaceWholeFile(path, bytes.data(), bytes.size())) {
    errorText_ = RuntimeErrorText(ErrnoOf(platform::GetLastError()));
    return false;
  }
  errorText_ = markup_text::Format(u"%d wide chars to %s%d bytes", static_cast<int64_t>(length), u"",
                                   static_cast<int64_t>(textBytes));
  return true;
}
