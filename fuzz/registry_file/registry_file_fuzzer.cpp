// The registry file's oracle: whatever text is read, what the writer makes of
// it (unchanged, and after a few changes chosen from the input) is read back
// to exactly the keys, values and types expected, and writing that again
// gives the same text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/case_fold.h"
#include "platform/linux/registry_file.h"

namespace {

using platform::regfile::File;
using platform::regfile::Key;
using platform::regfile::KeyPath;
using platform::regfile::Value;

std::u16string Fold(const std::u16string& s) {
  std::u16string f(s);
  for (auto& c : f) c = platform::FoldCaseForCompare(c);
  return f;
}

// The values of a key as Wine sees them: by folded name, the name as kept,
// the type and the bytes.
std::map<std::u16string, std::string> ValuesOf(const Key* key) {
  std::map<std::u16string, std::string> values;
  for (const Value& v : key->values) {
    std::string described(reinterpret_cast<const char*>(v.name.data()), v.name.size() * 2);
    described += '|' + std::to_string(v.type) + '|' + v.data;
    values[Fold(v.name)] = described;
  }
  return values;
}

// Both trees hold the same keys (names compared folded, as sub-keys are kept
// sorted) and the same values; walked side by side without recursion.
bool SameTree(const Key* a, const Key* b) {
  std::vector<std::pair<const Key*, const Key*>> stack{{a, b}};
  while (!stack.empty()) {
    auto [x, y] = stack.back();
    stack.pop_back();
    if (x->children.size() != y->children.size() || ValuesOf(x) != ValuesOf(y)) {
      if (std::getenv("RV_FUZZ_SHOW") != nullptr)
        std::fprintf(stderr, "differs at %s: %zu/%zu sub-keys, %zu/%zu values\n",
                     std::string(x->name.begin(), x->name.end()).c_str(), x->children.size(),
                     y->children.size(), x->values.size(), y->values.size());
      return false;
    }
    for (size_t i = 0; i < x->children.size(); ++i) {
      if (Fold(x->children[i]->name) != Fold(y->children[i]->name)) {
        if (std::getenv("RV_FUZZ_SHOW") != nullptr)
          std::fprintf(stderr, "differs below %s: sub-key %zu\n", std::string(x->name.begin(), x->name.end()).c_str(), i);
        return false;
      }
      stack.push_back({x->children[i].get(), y->children[i].get()});
    }
  }
  return true;
}

std::string g_last;  // the text written last, shown on failure with RV_FUZZ_SHOW

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "oracle: %s\n", what);
    if (std::getenv("RV_FUZZ_SHOW") != nullptr) std::fprintf(stderr, "%s\n", g_last.c_str());
    std::abort();
  }
}

void ExpectRoundTrip(File& file, const char* what) {
  std::string text = file.Serialize();
  g_last = text;
  File again;
  Check(again.Parse(text), what);
  Check(SameTree(file.Root(), again.Root()), what);
  Check(again.Serialize() == text, "a file read back is written the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  File file;
  file.SetClock(1700000000);
  if (!file.Parse(text)) return 0;
  // A lazy reading (the default) is the whole reading: it writes the same
  // text, a key asked for first has the same values, and so has every key.
  File whole;
  whole.SetClock(1700000000);
  Check(whole.Parse(text, /*lazily=*/false), "a whole reading accepts what a lazy one does");
  Check(file.Serialize() == whole.Serialize(), "a lazy reading writes what a whole reading writes");
  {
    std::vector<Key*> all = File::Subtree(whole.Root());
    KeyPath path;
    for (Key* k = all[size % all.size()]; k->parent != nullptr; k = k->parent) path.push_back(k->name);
    std::reverse(path.begin(), path.end());
    Key* expected = whole.Find(path);
    Key* asked = file.Find(path);
    Check((expected == nullptr) == (asked == nullptr), "a lazy reading finds what a whole one finds");
    if (expected != nullptr) {
      Check(ValuesOf(expected) == ValuesOf(asked), "a key read lazily has its values");
      Check(expected->children.size() == asked->children.size(), "a key read lazily has its sub-keys");
      for (size_t i = 0; i < expected->children.size(); ++i)
        Check(expected->children[i]->name == asked->children[i]->name, "a key read lazily has its sub-keys");
    }
  }
  Check(SameTree(file.Root(), whole.Root()), "a lazy reading holds the whole reading's tree");
  // Values dropped are read again as they were read first, tails included:
  // a change to such a key writes what the same change to the whole
  // reading writes. Both copies are read afresh, the originals go on.
  {
    File dropped, wholeCopy;
    dropped.SetClock(1700000000);
    wholeCopy.SetClock(1700000000);
    dropped.Parse(text);
    wholeCopy.Parse(text, /*lazily=*/false);
    for (Key* k : File::Subtree(dropped.Root())) dropped.ForgetValues(k);
    Check(SameTree(dropped.Root(), wholeCopy.Root()), "values dropped are read again the same");
    std::vector<Key*> all = File::Subtree(wholeCopy.Root());
    KeyPath path;
    for (Key* k = all[(size / 3) % all.size()]; k->parent != nullptr; k = k->parent) path.push_back(k->name);
    std::reverse(path.begin(), path.end());
    for (Key* k : File::Subtree(dropped.Root())) dropped.ForgetValues(k);
    Key* a = dropped.Find(path);
    Key* b = wholeCopy.Find(path);
    if (a != nullptr && b != nullptr && a->parent != nullptr) {
      dropped.SetValue(a, u"Fuzz Value", 1, std::string("o\0k\0\0\0", 6));
      wholeCopy.SetValue(b, u"Fuzz Value", 1, std::string("o\0k\0\0\0", 6));
      Check(dropped.Serialize() == wholeCopy.Serialize(), "a key whose values were dropped changes as read whole");
    }
  }
  ExpectRoundTrip(file, "an unchanged file reads back the same");

  // Changes chosen from the input: a key and what to do with it.
  std::vector<Key*> keys = File::Subtree(file.Root());
  uint32_t pick = 2166136261u;
  for (size_t i = 0; i < size; ++i) pick = (pick ^ data[i]) * 16777619u;
  Key* key = keys[pick % keys.size()];
  if (std::getenv("RV_FUZZ_SHOW") != nullptr)
  {
    std::string path;
    for (Key* k = key; k != nullptr && k->parent != nullptr; k = k->parent)
      path = std::string(k->name.begin(), k->name.end()) + "\\" + path;
    std::fprintf(stderr, "change %u on key %s of %zu values\n", unsigned((pick >> 24) % 5), path.c_str(),
                 key->values.size());
  }
  switch ((pick >> 24) % 5) {
    case 0:
      file.SetValue(key, u"Fuzz Value", 1, std::string("o\0k\0\0\0", 6));
      break;
    case 1:
      if (!key->values.empty()) file.DeleteValue(key, key->values[(pick >> 8) % key->values.size()].name);
      break;
    case 2:
      if (!key->values.empty()) {
        const Value& v = key->values.back();
        file.SetValue(key, v.name, v.type ^ ((pick >> 8) & 1), v.data + "\x01");
      }
      break;
    case 3: {
      KeyPath path;
      for (Key* k = key; k != nullptr && k->parent != nullptr; k = k->parent) path.push_back(k->name);
      std::reverse(path.begin(), path.end());
      path.push_back(u"Fuzz]Key\"\u00e9");  // a name written with escapes
      bool created = false;
      Key* fresh = file.Create(path, &created);
      if (fresh != nullptr) file.SetValue(fresh, u"", 4, std::string(4, '\x7f'));
      break;
    }
    default:
      if (key->parent != nullptr) file.Delete(key);
      break;
  }
  ExpectRoundTrip(file, "a changed file reads back as changed");
  return 0;
}
