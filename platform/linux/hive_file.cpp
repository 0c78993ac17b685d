#include "platform/linux/hive_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/case_fold.h"
#include "platform/wtext.h"

namespace platform {
namespace hive {

namespace {

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

uint32_t Little32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// hivex gives names as UTF-8; a name it cannot decode comes back null.
bool NameOf(const char* utf8, std::u16string* name) {
  if (utf8 == nullptr) return false;
  *name = wtext::FromUtf8(utf8);
  return true;
}

}  // namespace

bool ReadHeader(const std::string& path, Header* header) {
  *header = Header();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  unsigned char block[12];
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && pread(fd, block, sizeof block, 0) == ssize_t(sizeof block);
  close(fd);
  if (!ok) return true;  // readable, but no hive: regf stays false
  header->regf = block[0] == 'r' && block[1] == 'e' && block[2] == 'g' && block[3] == 'f';
  header->primarySequence = Little32(block + 4);
  header->secondarySequence = Little32(block + 8);
  return true;
}

bool Handle::Open(const std::string& path, bool writable) {
  Close();
  // A FIFO or device is no hive: libhivex would block on it or read forever.
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return false;
  }
  h_ = hivex_open(path.c_str(), writable ? HIVEX_OPEN_WRITE : 0);
  return h_ != nullptr;
}

void Handle::Close() {
  if (h_ != nullptr) hivex_close(h_);
  h_ = nullptr;
}

bool Children(hive_h* h, hive_node_h node, std::vector<NamedNode>* out) {
  out->clear();
  errno = 0;
  Owned<hive_node_h> list(hivex_node_children(h, node));
  if (!list) return false;
  for (hive_node_h* p = list.get(); *p != 0; ++p) {
    Owned<char> name(hivex_node_name(h, *p));
    NamedNode child{*p, {}};
    if (NameOf(name.get(), &child.name)) out->push_back(std::move(child));
  }
  return true;
}

bool Values(hive_h* h, hive_node_h node, std::vector<RawValue>* out) {
  out->clear();
  Owned<hive_value_h> list(hivex_node_values(h, node));
  if (!list) return false;
  for (hive_value_h* p = list.get(); *p != 0; ++p) {
    RawValue value;
    Owned<char> key(hivex_value_key(h, *p));
    if (!NameOf(key.get(), &value.name)) continue;
    hive_type type;
    size_t length = 0;
    Owned<char> data(hivex_value_value(h, *p, &type, &length));
    if (!data) return false;
    value.type = DWORD(type);
    value.data.assign(data.get(), length);
    out->push_back(std::move(value));
  }
  return true;
}

hive_node_h FindPath(hive_h* h, hive_node_h from, const std::vector<std::u16string>& names) {
  hive_node_h node = from;
  std::vector<NamedNode> children;
  for (const auto& name : names) {
    if (!Children(h, node, &children)) return 0;
    node = 0;
    for (const NamedNode& child : children)
      if (CompareFolded(child.name.data(), child.name.size(), name.data(), name.size()) == 0) {
        node = child.node;
        break;
      }
    if (node == 0) return 0;
  }
  return node;
}

bool ReadText(hive_h* h, hive_node_h node, const std::u16string& name, std::u16string* text) {
  std::vector<RawValue> values;
  if (!Values(h, node, &values)) return false;
  for (const RawValue& v : values) {
    if (CompareFolded(v.name.data(), v.name.size(), name.data(), name.size()) != 0) continue;
    if (v.type != REG_SZ && v.type != REG_EXPAND_SZ) return false;
    text->clear();
    for (size_t i = 0; i + 1 < v.data.size(); i += 2) {
      char16_t c = char16_t(uint8_t(v.data[i]) | (uint8_t(v.data[i + 1]) << 8));
      if (c == 0) break;
      text->push_back(c);
    }
    return true;
  }
  return false;
}

}  // namespace hive
}  // namespace platform
