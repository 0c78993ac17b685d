// Opening the output file of MarkupDoc::Save from a UTF-16 Windows path, on
// either target.
#pragma once

#include <cstdio>

namespace markup_file {

// Opens path for binary writing (created or truncated), as _wfopen(path,
// "wb") does; null with errno set on failure.
std::FILE* OpenForWriting(const char16_t* path);

}  // namespace markup_file
