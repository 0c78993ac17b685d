#include "tools/host/labels.h"

#include "records/check_node.h"

namespace host {

namespace {

struct Pair {
  const char* english;
  const char* chinese;
};

const Pair kWords[] = {
    {"#", "#"},
    {"status", "状态"},
    {"level", "级别"},
    {"name", "名称"},
    {"where", "位置"},
    {"command_line", "命令行"},
    {"description", "描述"},
    {"company", "公司"},
    {"version", "版本"},
    {"size", "大小"},
    {"sha256", "SHA-256"},
    {"outcome", "结果"},
    {"now_at", "现在位于"},
    {"enabled", "已启用"},
    {"disabled", "已禁用"},
    {"disabled (msconfig)", "已禁用 (msconfig)"},
    {"safe", "安全"},
    {"dangerous", "危险"},
    {"unknown", "未知"},
    {"startup (all users)", "启动文件夹 (所有用户)"},
    {"startup (user)", "启动文件夹 (用户)"},
    {"msconfig", "msconfig"},
    {"32-bit", "32 位"},
    {"removed", "已删除"},
    {"done", "成功"},
    {"FAILED", "失败"},
    {"would remove", "将删除"},
    {"would disable", "将禁用"},
    {"would enable", "将启用"},
    {"would delete", "将删除"},
    {"not found", "未找到"},
};

std::string After(const std::string& text, const std::string& marker) {
  size_t at = text.find(marker);
  return at == std::string::npos ? text : text.substr(at + marker.size());
}

}  // namespace

std::string Labels::Word(const std::string& english) const {
  if (chinese_)
    for (const Pair& pair : kWords)
      if (english == pair.english) return pair.chinese;
  return english;
}

std::string Labels::Heading(const std::string& key) const {
  if (key == "index") return "#";
  return Word(key);
}

std::string Labels::Level(const std::string& moduleText) const {
  if (chinese_) return moduleText;
  if (moduleText == "安全") return "safe";
  if (moduleText == "危险") return "dangerous";
  if (moduleText == "未知") return "unknown";
  return moduleText;
}

std::string Labels::State(const ListedItem& item) const {
  if (item.enabled) return Word("enabled");
  return Word(item.disabledBy == "msconfig" ? "disabled (msconfig)" : "disabled");
}

std::string Labels::Where(const ListedItem& item) const {
  if (item.typeCode == RUNVANE_TYPE_COMMON_STARTUP) return Word("startup (all users)");
  if (item.typeCode == RUNVANE_TYPE_USER_STARTUP) return Word("startup (user)");
  if (item.typeCode >= 100) return Word("msconfig");
  std::string root = item.mainkey == "HKEY_CURRENT_USER" ? "HKCU" : item.mainkey == "HKEY_LOCAL_MACHINE" ? "HKLM" : item.mainkey;
  std::string key = item.subkey.empty() ? item.type : After(item.subkey, "CurrentVersion\\");
  if (item.mainkey.empty() && item.typeCode >= 0 && item.typeCode <= RUNVANE_TYPE_RUN_KEY_LAST) {
    // A check finding names its key by its source index alone.
    static const char* const kKeys[] = {"HKLM\\Run", "HKCU\\Run", "HKLM\\RunOnce", "HKCU\\RunOnce",
                                        "HKLM\\RunOnceEx", "HKLM\\RunServices", "HKCU\\RunServices",
                                        "HKLM\\RunServicesOnce", "HKCU\\RunServicesOnce",
                                        "HKLM\\Policies\\Explorer\\Run", "HKCU\\Policies\\Explorer\\Run"};
    return kKeys[item.typeCode];
  }
  if (root.empty()) return key;
  std::string out = root + "\\" + key;
  if (item.view == "32-bit") out += " (" + Word("32-bit") + ")";
  return out;
}

}  // namespace host
