// Save: writes the document text to a file, as UTF-16 LE with a byte-order
// mark when the declaration asks for utf-16, else as UTF-8.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "markup/markup_doc.h"
#include "markup/markup_file.h"
#include "markup/markup_text.h"

namespace {

std::u16string RuntimeErrorText(int error) { return markup_text::FromUtf8(std::strerror(error)); }

bool DeclaresUtf16(const std::u16string& text) {
  return text.find(u"encoding=\"utf-16\"") != std::u16string::npos ||
         text.find(u"encoding=\"UTF-16\"") != std::u16string::npos;
}

}  // namespace

bool MarkupDoc::Save(const char16_t* path) {
  std::FILE* file = markup_file::OpenForWriting(path);
  if (file == nullptr) {
    errorText_ = RuntimeErrorText(errno);
    return false;
  }

  bool written = true;
  int writeError = 0;
  const size_t length = text_.size();
  size_t textBytes = 0;
  if (length != 0) {
    std::vector<unsigned char> bytes;
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
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      written = false;
      writeError = errno;
    }
  }
  errorText_ = markup_text::Format(u"%d wide chars to %s%d bytes", static_cast<int64_t>(length), u"",
                                   static_cast<int64_t>(textBytes));
  // Buffered bytes reach the disk only at the close; a failure there is a
  // short write too.
  errno = 0;
  if (std::fclose(file) != 0 && written) {
    written = false;
    writeError = errno;
  }
  if (!written) {
    errorText_ = RuntimeErrorText(writeError != 0 ? writeError : EIO);
    return false;
  }
  return true;
}
