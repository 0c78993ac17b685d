// Arbitrary bytes as the knowledge base beside the module: loading must
// neither crash nor leave an entry in a list other than its level's, a text
// without its terminator, or a different result when loaded again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/scratch_image.h"
#include "knowledge/knowledge_base.h"
#include "knowledge/scan_context.h"

namespace {

const char kTarget[] = "knowledge_base";
const char16_t kPath[] = u"C:\\runvane\\common\\config\\check\\RunLib.xml";

template <size_t N>
bool Terminated(const char16_t (&field)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (field[i] == 0) return true;
  return false;
}

void CheckList(const RunDataArray& list, int32_t level) {
  for (int i = 0; i < list.GetSize(); ++i) {
    const _RunData& entry = list.GetAt(i);
    if (entry.level != level) fuzzimage::Fail(kTarget, "entry in the list of another level");
    if (!Terminated(entry.name) || !Terminated(entry.desc) || !Terminated(entry.cmdline) ||
        !Terminated(entry.mainkey) || !Terminated(entry.subkey))
      fuzzimage::Fail(kTarget, "text without terminator");
  }
}

std::u16string Summary(const ScanContext& context) {
  std::u16string text;
  for (const RunDataArray* list : {&context.safeList, &context.dangerList, &context.hiddenList}) {
    for (int i = 0; i < list->GetSize(); ++i) {
      text += list->GetAt(i).name;
      text += u'\n';
    }
    text += u"--\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzimage::Create(kTarget);
  platform::CreateDirectoryW(u"C:\\runvane\\common", nullptr);
  platform::CreateDirectoryW(u"C:\\runvane\\common\\config", nullptr);
  platform::CreateDirectoryW(u"C:\\runvane\\common\\config\\check", nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzzimage::WriteImageFile(kPath, data, size)) fuzzimage::Fail(kTarget, "cannot write");
  ScanContext first(nullptr, nullptr, 0);
  LoadKnowledgeBase(first);
  CheckList(first.safeList, kLevelSafe);
  CheckList(first.dangerList, kLevelDangerous);
  CheckList(first.hiddenList, kLevelHidden);
  ScanContext second(nullptr, nullptr, 0);
  LoadKnowledgeBase(second);
  if (Summary(first) != Summary(second)) fuzzimage::Fail(kTarget, "a second load differs");
  return 0;
}
