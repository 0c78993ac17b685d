// Shared pieces of the check-cycle tests: a recording progress callback,
// the Run keys and startup folders as the module reads them, a knowledge
// base writer and list helpers. The same sources build against both
// editions; rundata:: tells which record widths are in force.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/run_data.h"
#include "records/check_node.h"
#include "plugin/exports.h"
#include "tests/support/test_system.h"

namespace cycle {

extern const char16_t kRunPath[];      // ...\CurrentVersion\Run
extern const char16_t kRunOncePath[];  // ...\CurrentVersion\RunOnce
extern const char16_t kPolicyRunPath[];  // ...\Policies\Explorer\Run

// Records every callback and answers non-zero from call number stopAt on
// (counting from 1; 0 never stops).
struct Recorder {
  std::vector<std::u16string> texts;
  std::vector<std::vector<int32_t>> arguments;  // the eight integers
  int stopAt = 0;
};
// The callback the tests hand to the exports; it writes into Current().
int32_t __cdecl RecordingCallback(const char16_t* text, int32_t a, int32_t b, int32_t c,
                                  int32_t d, int32_t userData, int32_t e, int32_t f, int32_t g);
Recorder& Current();

// A test fixture with a clean system and a fresh recorder.
class CycleTest : public ::testing::Test {
 protected:
  CycleTest() { Current() = Recorder(); }
  ~CycleTest() override;

  // Runs DLL_Check with the recording callback; the list is released by the
  // fixture unless the test releases it itself (set list to null then).
  void Check(int32_t userData = 0);

  testsys::CleanSystem system_;
  CheckNode* list = nullptr;
  int32_t count = -1;
  int32_t checkResult = -1;
};

// Sets a REG_SZ value, failing the test when it cannot.
void SetValue(HKEY root, const char16_t* key, const std::u16string& name,
              const std::u16string& data);
// Raw bytes as a value's data. The system adds a terminator to string
// types that lack one, so unterminated text is stored as REG_BINARY.
void SetValueBytes(HKEY root, const char16_t* key, const std::u16string& name,
                   const std::string& bytes, DWORD type = REG_BINARY);
bool ValueExists(HKEY root, const char16_t* key, const std::u16string& name);

// The startup folder of all users (24) or of the current user (7), created
// if missing.
std::u16string StartupFolder(int csidl);
// Creates a file inside a startup folder and returns its full path.
std::u16string AddStartupFile(int csidl, const std::u16string& name);

// One knowledge-base entry; writes RunLib.xml where the module reads it.
struct Entry {
  std::string name, desc, cmdl, param1, param2, type, status, level;
};
void WriteKnowledgeBase(const std::vector<Entry>& entries);

std::vector<const CheckNode*> Nodes(const CheckNode* head);
const CheckNode* FindNode(const CheckNode* head, const std::u16string& name);
std::u16string Text(const char16_t* text);
std::string Utf8(const std::u16string& text);

}  // namespace cycle
