// The exports as a multithreaded host calls them: every export from four
// threads at once, in a loop (run under ThreadSanitizer on Linux and under
// Wine in the Windows build), and a check from threads that are or are not in
// a COM apartment, which must classify as one from the main thread does.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <objbase.h>
#endif

#include "platform/wtext.h"
#include "tests/plugin/cycle_support.h"

namespace cycle {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 12;

const char16_t kListing[] = u"VEK_GetAutoRunList_RUN";

class ThreadsTest : public CycleTest {
 protected:
  ThreadsTest() {
    WriteKnowledgeBase({
        {"SafeTool", "A safe tool", "", "", "", "1", "1", "1"},
        {"BadTool", "A bad tool", "", "", "", "1", "1", "2"},
    });
    SetValue(HKEY_LOCAL_MACHINE, kRunPath, u"SafeTool", u"C:\\safe.exe");
    SetValue(HKEY_CURRENT_USER, kRunPath, u"BadTool", u"C:\\bad.exe -x");
    SetValue(HKEY_CURRENT_USER, kRunPath, u"Other", u"C:\\other.exe");
  }

  // A command file in the scratch folder; its Windows path.
  std::u16string CommandFile(const std::string& name, const std::string& command,
                             const std::string& items) {
    const std::u16string path = testsys::ScratchFolder() + u"\\" + wtext::FromUtf8(name);
    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<command name=\"" +
                            command + "\">" + items + "</command>\n";
    EXPECT_TRUE(testsys::WriteFileBytes(path, xml));
    return path;
  }
};

// "level text" of every listed item, by name.
std::u16string Classification(const CheckNode* head) {
  std::u16string text;
  for (const CheckNode* node : Nodes(head))
    text += Text(node->name) + u"=" + Text(node->levelText) + u";";
  return text;
}

// One check through the exports; the classification of its list.
std::u16string CheckAndClassify() {
  CheckNode* list = nullptr;
  int32_t count = 0;
  DLL_Check(&list, nullptr, &count, 0);
  std::u16string text = Classification(list);
  DLL_Release(list);
  return text;
}

TEST_F(ThreadsTest, EveryExportFromFourThreadsAtOnce) {
  const std::u16string expected = CheckAndClassify();
  ASSERT_EQ(u"SafeTool=安全;BadTool=危险;Other=未知;", expected);

  const std::u16string listing = CommandFile("list.xml", Utf8(kListing), "");
  const std::u16string disable = CommandFile(
      "disable.xml", "VEK_DisableAutoRun_RUN",
      "<autorun name=\"Absent\" mainkey=\"HKEY_CURRENT_USER\" "
      "subkey=\"Software\\Microsoft\\Windows\\CurrentVersion\\Run\" type=\"1\"/>");

  const std::u16string scratch = testsys::ScratchFolder();
  std::atomic<int> failures(0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string response = scratch + u"\\response" + wtext::FromInt(t) + u".xml";
      for (int round = 0; round < kRounds; ++round) {
        CheckNode* list = nullptr;
        int32_t count = 0;
        DLL_Check(&list, nullptr, &count, 0);
        if (Classification(list) != expected || count != 3) ++failures;
        DLL_Repair(list, nullptr, 0);  // nothing selected: nothing removed
        DLL_Release(list);

        FixNode fix = {};
        wtext::Copy(fix.name, u"Absent");
        FixItemByName(&fix);

        if (VEK_RemoteInvoke(listing.c_str(), response.c_str()) != 0) ++failures;
        std::string bytes;
        if (!testsys::ReadFileBytes(response, &bytes) || bytes.size() < 2) ++failures;
        if (VEK_RemoteInvoke(disable.c_str(), response.c_str()) != -1) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(expected, CheckAndClassify()) << "no item was changed";
}

#ifdef _WIN32
// The host's own COM state on a thread, as CoInitializeEx reports it: S_FALSE
// when the thread already is in the multithreaded apartment.
HRESULT ProbeMultithreaded() {
  HRESULT result = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(result)) ::CoUninitialize();
  return result;
}
#endif

TEST_F(ThreadsTest, CheckFromAnyThreadClassifiesAsFromTheMainThread) {
  const std::u16string expected = CheckAndClassify();
  ASSERT_EQ(u"SafeTool=安全;BadTool=危险;Other=未知;", expected);

  std::u16string fresh;
  std::thread([&] { fresh = CheckAndClassify(); }).join();
  EXPECT_EQ(expected, fresh) << "a thread without COM";

  std::u16string multithreaded;
  bool stillInApartment = true;
  std::thread([&] {
#ifdef _WIN32
    ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
#endif
    multithreaded = CheckAndClassify();
    multithreaded += CheckAndClassify() == multithreaded ? u"" : u"(second check differs)";
#ifdef _WIN32
    // The check left the host's initialisation in place.
    stillInApartment = ProbeMultithreaded() == S_FALSE;
    ::CoUninitialize();
#endif
  }).join();
  EXPECT_EQ(expected, multithreaded) << "a thread in the multithreaded apartment";
  EXPECT_TRUE(stillInApartment) << "the module ended the host's COM initialisation";

  EXPECT_EQ(expected, CheckAndClassify()) << "the main thread afterwards";
}

}  // namespace
}  // namespace cycle
