// The test programs' entry point: COM for the DOM component (as the module
// object does when a module loads), then every test.
#include <gtest/gtest.h>

#include "platform/platform.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  platform::CoInitialize(nullptr);
  int result = RUN_ALL_TESTS();
  platform::CoUninitialize();
  return result;
}
