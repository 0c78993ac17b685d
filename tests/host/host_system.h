// The system that a loaded module looks at, prepared by the test without any
// of the module's own code.
//
// Windows (under Wine): the prefix's real registry and folders, emptied by
// testsys::CleanSystem. Linux: a system image in a temporary folder, named
// to the module by RUNVANE_SYSTEM_ROOT before the first module loads, whose
// registry files the test writes itself in Wine's registry file format.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace host {

class HostSystem {
 public:
  HostSystem();
  ~HostSystem();
  HostSystem(const HostSystem&) = delete;
  HostSystem& operator=(const HostSystem&) = delete;

  // Adds a value to the Run key of the local machine or the current user.
  // False when it could not be stored.
  bool AddRunValue(bool machine, const std::string& name, const std::string& data);

 private:
  struct Value {
    bool machine;
    std::string name;
    std::string data;
  };
  bool WriteRegistry();

  std::vector<Value> values_;
  struct Platform;
  std::unique_ptr<Platform> platform_;
};

// Makes the image that the Linux modules read (no-op on Windows). Must run
// before the first module loads; the test program calls it from main's
// environment.
void PrepareSystemForModules();
void RemoveSystemForModules();

}  // namespace host
