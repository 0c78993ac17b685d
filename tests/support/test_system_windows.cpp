// PLACEHOLDER: replaced by the backend's test-system support.
#include "tests/support/test_system.h"

namespace testsys {
CleanSystem::CleanSystem() {}
CleanSystem::~CleanSystem() {}
bool WriteFileBytes(const std::u16string&, const std::string&) { return false; }
bool ReadFileBytes(const std::u16string&, std::string*) { return false; }
bool FileExists(const std::u16string&) { return false; }
bool MakeFolders(const std::u16string&) { return false; }
std::u16string SourceTreePath(const std::string&) { return u""; }
std::u16string ScratchFolder() { return u""; }
}  // namespace testsys
