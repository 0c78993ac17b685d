// One registry hive file (the binary "regf" format of a Windows volume),
// opened through libhivex: the handle as an owned object, the base block's
// health, and the reads the store and the profile choice share.
#pragma once

#include <hivex.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace platform {
namespace hive {

// What the base block (the first 4096 bytes) says about the file.
struct Header {
  bool regf = false;            // starts with the "regf" signature
  uint32_t primarySequence = 0;
  uint32_t secondarySequence = 0;
  // A hive is cleanly written when its two sequence numbers agree; when they
  // differ, a write was cut off and its transaction logs (.LOG1, .LOG2) hold
  // changes the file does not.
  bool Clean() const { return regf && primarySequence == secondarySequence; }
};
// False when the file cannot be read; *header then says nothing.
bool ReadHeader(const std::string& path, Header* header);

class Handle {
 public:
  Handle() = default;
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Close();
      h_ = other.h_;
      other.h_ = nullptr;
    }
    return *this;
  }
  // Opens the file (writable: changes may be committed). False with errno set.
  bool Open(const std::string& path, bool writable);
  void Close();
  hive_h* get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  hive_h* h_ = nullptr;
};

struct NamedNode {
  hive_node_h node;
  std::u16string name;
};
// The sub-keys of node in the hive's order. False when the hive is damaged
// there. A name that is no valid text is left out (it cannot be named).
bool Children(hive_h* h, hive_node_h node, std::vector<NamedNode>* out);

struct RawValue {
  std::u16string name;  // empty: the key's default value
  DWORD type = 0;
  std::string data;     // the bytes as stored
};
// The values of node in the hive's order; false when the hive is damaged.
bool Values(hive_h* h, hive_node_h node, std::vector<RawValue>* out);

// The node at a path of names below from (compared ignoring case), or 0.
hive_node_h FindPath(hive_h* h, hive_node_h from, const std::vector<std::u16string>& names);

// The text of a string value (up to its first zero unit); false when the
// value is missing or no string.
bool ReadText(hive_h* h, hive_node_h node, const std::u16string& name, std::u16string* text);

}  // namespace hive
}  // namespace platform
