// List, disable everything, list, enable everything, list: the system ends
// where it began, except that a file disabled from the all-users folder comes
// back into the current user's folder.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "tests/remote/remote_support.h"

namespace remotetest {
namespace {

class RoundTripTest : public RemoteTest {
 protected:
  std::vector<Attributes> List() {
    Invocation call = Run(CommandXml(u"VEK_GetAutoRunList_RUN", {}));
    EXPECT_EQ(0, call.result);
    ReadBack back = ReadResponse(ResponsePath(), kListingAttributes);
    EXPECT_TRUE(back.loaded);
    return back.items;
  }

  // Runs command over every listed item; every item must succeed.
  std::vector<Attributes> Apply(const char16_t* command, const std::vector<Attributes>& listed) {
    std::vector<ItemSpec> items;
    for (const Attributes& item : listed)
      items.push_back(Item(item.at(u"name"), item.at(u"mainkey"), item.at(u"subkey"),
                           item.at(u"type")));
    Invocation call = Run(CommandXml(command, items));
    EXPECT_EQ(0, call.result) << Utf8(call.text);
    ReadBack back = ReadResponse(ResponsePath(), kItemResultAttributes);
    EXPECT_TRUE(back.loaded);
    EXPECT_EQ(listed.size(), back.items.size());
    for (const Attributes& item : back.items) EXPECT_EQ(u"0", item.at(u"nResult")) << Utf8(item.at(u"name"));
    return back.items;
  }
};

typedef std::tuple<std::u16string, std::u16string, std::u16string, std::u16string, std::u16string,
                   std::u16string>
    Fields;

std::vector<Fields> Comparable(const std::vector<Attributes>& items) {
  std::vector<Fields> fields;
  for (const Attributes& item : items)
    fields.emplace_back(item.at(u"type"), item.at(u"name"), item.at(u"mainkey"), item.at(u"subkey"),
                        item.at(u"cmdline"), item.at(u"status"));
  std::sort(fields.begin(), fields.end());
  return fields;
}

TEST_F(RoundTripTest, DisableAllThenEnableAllRestoresTheItems) {
  SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"MachineApp", u"C:\\apps\\machine.exe -q");
  SetValue(HKEY_CURRENT_USER, kRunPath, u"UserApp", u"\"C:\\apps\\user app.exe\" /tray");
  SetValue(HKEY_CURRENT_USER, kRunOncePath, u"Once", u"once.exe");
  const std::u16string common = StartupFolder(CSIDL_COMMON_STARTUP);
  const std::u16string user = StartupFolder(CSIDL_STARTUP);
  AddFile(common, u"Common.lnk");
  AddFile(user, u"Mine.txt");

  std::vector<Attributes> first = List();
  ASSERT_EQ(5u, first.size());
  for (const Attributes& item : first) EXPECT_EQ(u"1", item.at(u"status"));

  std::vector<Attributes> disabled = Apply(u"VEK_DisableAutoRun_RUN", first);
  std::vector<Attributes> second = List();
  ASSERT_EQ(5u, second.size());
  for (const Attributes& item : second) {
    SCOPED_TRACE(Utf8(item.at(u"name")));
    EXPECT_EQ(u"2", item.at(u"status"));
    // The response of the disable named the item's new place.
    auto moved = std::find_if(disabled.begin(), disabled.end(), [&](const Attributes& result) {
      return result.at(u"name") == item.at(u"name");
    });
    ASSERT_NE(disabled.end(), moved);
    EXPECT_EQ(Utf8(moved->at(u"subkey")), Utf8(item.at(u"subkey")));
  }
  EXPECT_FALSE(testsys::FileExists(common + u"\\Common.lnk"));
  EXPECT_TRUE(testsys::FileExists(DisabledFolder() + u"\\Common.lnk"));

  Apply(u"VEK_EnableAutoRun_RUN", second);
  std::vector<Attributes> third = List();

  // Expected: the first listing with the all-users file now in the
  // current user's folder.
  std::vector<Attributes> expected = first;
  for (Attributes& item : expected) {
    if (item.at(u"name") != u"Common.lnk") continue;
    item[u"type"] = u"12";
    item[u"subkey"] = user + u"\\Common.lnk";
    item[u"cmdline"] = user + u"\\Common.lnk";
  }
  std::vector<Fields> want = Comparable(expected), got = Comparable(third);
  ASSERT_EQ(want.size(), got.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(Utf8(std::get<1>(want[i])), Utf8(std::get<1>(got[i])));
    EXPECT_TRUE(want[i] == got[i]) << Utf8(std::get<1>(want[i])) << ": " << Utf8(std::get<3>(want[i]))
                                   << " / " << Utf8(std::get<3>(got[i])) << ", "
                                   << Utf8(std::get<4>(want[i])) << " / " << Utf8(std::get<4>(got[i]));
  }
  EXPECT_EQ(u"C:\\apps\\machine.exe -q", ValueData(HKEY_LOCAL_MACHINE, kRunPath, u"MachineApp"));
  EXPECT_EQ(u"\"C:\\apps\\user app.exe\" /tray", ValueData(HKEY_CURRENT_USER, kRunPath, u"UserApp"));
}

}  // namespace
}  // namespace remotetest
