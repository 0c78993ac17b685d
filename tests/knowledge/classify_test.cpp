// Classification of items against hand-filled knowledge lists, and the
// lookup index against the plain first-match walk.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "knowledge/knowledge_index.h"
#include "knowledge/classify.h"
#include "knowledge/scan_context.h"
#include "platform/wtext.h"

namespace {

_RunData Record(int32_t kind, const char16_t* name, const char16_t* cmdline, const char16_t* desc = u"") {
  _RunData r = {};
  r.kind = kind;
  wtext::Copy(r.name, name);
  wtext::Copy(r.cmdline, cmdline);
  wtext::Copy(r.desc, desc);
  return r;
}

// Enough filler entries to put a list above the size that is walked
// without an index, so both ways of looking up are exercised.
void AddFiller(RunDataArray& list, int count) {
  for (int i = 0; i < count; ++i) {
    std::u16string name = u"filler" + wtext::FromInt(i);
    list.Add(Record(kKindRegistryValue, name.c_str(), u"", u"filler"));
  }
}

class ClassifyTest : public ::testing::TestWithParam<int> {
 protected:
  ClassifyTest() : context(nullptr, nullptr, 0) {}
  void SetUp() override {
    AddFiller(context.safeList, GetParam());
    AddFiller(context.dangerList, GetParam());
    AddFiller(context.hiddenList, GetParam());
  }
  ScanContext context;
};

TEST_P(ClassifyTest, NameIgnoresCaseButCommandLineKeepsIt) {
  context.safeList.Add(Record(kKindRegistryValue, u"updater", u"", u"any updater"));
  context.dangerList.Add(Record(kKindRegistryValue, u"Tool", u"C:\\Program Files\\Tool", u"tool"));

  _RunData upper = Record(kKindRegistryValue, u"UPDATER", u"D:\\whatever.exe --x");
  EXPECT_TRUE(ClassifyItem(upper, context));
  EXPECT_EQ(kLevelSafe, upper.level);
  EXPECT_EQ(u"any updater", std::u16string(upper.desc));

  _RunData lower = Record(kKindRegistryValue, u"tool", u"c:\\program files\\tool\\tool.exe");
  EXPECT_TRUE(ClassifyItem(lower, context));
  EXPECT_EQ(kLevelUnknown, lower.level);
  EXPECT_EQ(u"", std::u16string(lower.desc));

  _RunData exact = Record(kKindRegistryValue, u"TOOL", u"\"C:\\Program Files\\Tool\\tool.exe\" /s");
  EXPECT_TRUE(ClassifyItem(exact, context));
  EXPECT_EQ(kLevelDangerous, exact.level);
}

TEST_P(ClassifyTest, KindMustMatch) {
  context.safeList.Add(Record(kKindFolderFile, u"Helper.lnk", u"", u"shortcut"));
  _RunData value = Record(kKindRegistryValue, u"Helper.lnk", u"Helper.lnk");
  EXPECT_TRUE(ClassifyItem(value, context));
  EXPECT_EQ(kLevelUnknown, value.level);

  _RunData file = Record(kKindFolderFile, u"helper.LNK", u"C:\\x\\Helper.lnk");
  EXPECT_TRUE(ClassifyItem(file, context));
  EXPECT_EQ(kLevelSafe, file.level);
}

TEST_P(ClassifyTest, SafeBeatsDangerousAndHiddenBeatsBoth) {
  context.dangerList.Add(Record(kKindRegistryValue, u"both", u"", u"bad"));
  context.safeList.Add(Record(kKindRegistryValue, u"both", u"", u"good"));
  _RunData item = Record(kKindRegistryValue, u"Both", u"x.exe");
  EXPECT_TRUE(ClassifyItem(item, context));
  EXPECT_EQ(kLevelSafe, item.level);
  EXPECT_EQ(u"good", std::u16string(item.desc));

  context.hiddenList.Add(Record(kKindRegistryValue, u"BOTH", u"x", u"hidden"));
  _RunData again = Record(kKindRegistryValue, u"Both", u"x.exe");
  EXPECT_FALSE(ClassifyItem(again, context));
}

TEST_P(ClassifyTest, FirstMatchingEntryGivesTheDescription) {
  context.safeList.Add(Record(kKindRegistryValue, u"twice", u"one", u"first"));
  context.safeList.Add(Record(kKindRegistryValue, u"TWICE", u"", u"second"));
  _RunData both = Record(kKindRegistryValue, u"Twice", u"one.exe");
  EXPECT_EQ(1, FindInSafeList(both, context));
  EXPECT_EQ(u"first", std::u16string(both.desc));

  _RunData onlySecond = Record(kKindRegistryValue, u"Twice", u"two.exe");
  EXPECT_EQ(1, FindInSafeList(onlySecond, context));
  EXPECT_EQ(u"second", std::u16string(onlySecond.desc));
}

TEST_P(ClassifyTest, NoMatchLeavesTheItemAsItWas) {
  _RunData item = Record(kKindRegistryValue, u"nobody", u"x", u"kept");
  item.level = 7;
  _RunData before = item;
  EXPECT_EQ(0, FindInHiddenList(item, context));
  EXPECT_EQ(0, FindInSafeList(item, context));
  EXPECT_EQ(0, FindInDangerList(item, context));
  EXPECT_EQ(0, std::memcmp(&before, &item, sizeof item));
}

TEST_P(ClassifyTest, ListFilledAfterALookupIsSeenByTheNext) {
  _RunData item = Record(kKindRegistryValue, u"late", u"late.exe");
  EXPECT_EQ(0, FindInDangerList(item, context));
  context.dangerList.Add(Record(kKindRegistryValue, u"LATE", u"", u"added later"));
  EXPECT_EQ(1, FindInDangerList(item, context));
  EXPECT_EQ(kLevelDangerous, item.level);

  context.dangerList.RemoveAll();
  _RunData fresh = Record(kKindRegistryValue, u"late", u"late.exe");
  EXPECT_EQ(0, FindInDangerList(fresh, context));
}

// 0 filler entries: the short lists are walked; 40: they are indexed.
INSTANTIATE_TEST_SUITE_P(ListSizes, ClassifyTest, ::testing::Values(0, 40));

// Names drawn from an alphabet that makes the comparison interesting: letter
// case, Latin-1 and Cyrillic pairs, letters without a simple pair, the
// hyphen and apostrophe, and units a locale may treat specially.
std::u16string RandomName(std::mt19937& random) {
  static const char16_t kUnits[] = u"aAbBkK-' \u00e9\u00c9\u00df\u044f\u042f\u4e2d\u0130\u0131\u212a\uff42\uff22\u01c5\u00e6";
  std::uniform_int_distribution<int> length(1, 3);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kUnits / sizeof kUnits[0]) - 2);
  std::u16string name;
  for (int n = length(random); n > 0; --n) name.push_back(kUnits[pick(random)]);
  return name;
}

std::u16string FlipCase(std::u16string name, std::mt19937& random) {
  for (char16_t& c : name) {
    if (random() % 2 == 0) continue;
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    else if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    else if (c == u'\u00e9') c = u'\u00c9';
    else if (c == u'\u044f') c = u'\u042f';
  }
  return name;
}

int OracleFirst(const RunDataArray& list, const _RunData& item) {
  for (int i = 0; i < list.GetSize(); ++i) {
    const _RunData& e = list.GetAt(i);
    if (e.kind == item.kind && wtext::CompareNoCase(e.name, item.name) == 0 &&
        wtext::Find(item.cmdline, e.cmdline) != nullptr)
      return i;
  }
  return -1;
}

TEST(KnowledgeIndexTest, AgreesWithThePlainWalkOnRandomLists) {
  static const char16_t* const kFragments[] = {u"", u"", u"a", u"A", u"ab", u"\\Temp\\", u"x"};
  static const char16_t* const kCommandLines[] = {u"", u"a", u"ab", u"xAb", u"C:\\Temp\\x", u"abx"};
  std::mt19937 random(20240611);
  for (int round = 0; round < 60; ++round) {
    RunDataArray list;
    std::vector<std::u16string> names;
    int size = 16 + static_cast<int>(random() % 200);
    for (int i = 0; i < size; ++i) {
      std::u16string name = (!names.empty() && random() % 3 == 0) ? FlipCase(names[random() % names.size()], random)
                                                                   : RandomName(random);
      names.push_back(name);
      list.Add(Record(1 + static_cast<int32_t>(random() % 2), name.c_str(), kFragments[random() % 7]));
    }
    KnowledgeIndex index;
    for (int probe = 0; probe < 200; ++probe) {
      std::u16string name = random() % 4 == 0 ? RandomName(random) : FlipCase(names[random() % names.size()], random);
      _RunData item = Record(1 + static_cast<int32_t>(random() % 2), name.c_str(), kCommandLines[random() % 6]);
      ASSERT_EQ(OracleFirst(list, item), index.FindFirst(list, item))
          << "round " << round << " item " << wtext::ToUtf8(item.name) << " / " << wtext::ToUtf8(item.cmdline);
    }
  }
}

// A base large enough that every part of the index is at work (its filter,
// keys with one entry and keys with many, distinct names under one slot
// chain), across the three lists: ClassifyItem must decide every item as the
// plain walk of hidden, then safe, then dangerous does.
TEST(KnowledgeIndexTest, ClassifyAgreesWithThePlainWalksOnALargeBase) {
  static const char16_t* const kFragments[] = {u"", u"", u"tool", u"TOOL", u"\\Temp\\"};
  static const char16_t* const kCommandLines[] = {u"", u"C:\\tool.exe", u"C:\\Temp\\TOOL.exe", u"x"};
  std::mt19937 random(7);
  ScanContext context(nullptr, nullptr, 0);
  RunDataArray* lists[] = {&context.hiddenList, &context.safeList, &context.dangerList};
  std::vector<std::u16string> names;
  for (int i = 0; i < 4000; ++i) {
    std::u16string name = (!names.empty() && random() % 4 == 0)
                              ? FlipCase(names[random() % names.size()], random)
                              : RandomName(random) + wtext::FromInt(static_cast<int>(random() % 3000));
    names.push_back(name);
    std::u16string desc = u"entry " + wtext::FromInt(i);
    lists[random() % 3]->Add(Record(1 + static_cast<int32_t>(random() % 2), name.c_str(), kFragments[random() % 5],
                                    desc.c_str()));
  }
  for (int probe = 0; probe < 800; ++probe) {
    std::u16string name = probe % 3 == 0 ? RandomName(random) + wtext::FromInt(static_cast<int>(random() % 3000))
                                         : FlipCase(names[random() % names.size()], random);
    _RunData item = Record(1 + static_cast<int32_t>(random() % 2), name.c_str(), kCommandLines[random() % 4]);
    _RunData expected = item;
    bool kept = true;
    expected.level = kLevelUnknown;
    const int32_t levels[] = {kLevelSafe, kLevelSafe, kLevelDangerous};
    for (int l = 0; l < 3; ++l) {
      int at = OracleFirst(*lists[l], item);
      if (at < 0) continue;
      kept = l != 0;
      expected.level = levels[l];
      wtext::Copy(expected.desc, lists[l]->GetAt(at).desc);
      break;
    }
    ASSERT_EQ(kept, ClassifyItem(item, context)) << "probe " << probe << " " << wtext::ToUtf8(name);
    if (kept) {
      EXPECT_EQ(expected.level, item.level) << wtext::ToUtf8(name);
      EXPECT_EQ(std::u16string(expected.desc), std::u16string(item.desc)) << wtext::ToUtf8(name);
    }
  }
}

}  // namespace
