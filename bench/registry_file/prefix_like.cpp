#include "bench/registry_file/prefix_like.h"

#include <cstdio>

#include "platform/linux/registry_file.h"

namespace prefixlike {

const char kHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n";

std::string WrappedHex(const char* name, size_t bytes) {
  platform::regfile::Value value;
  for (const char* c = name; *c != 0; ++c) value.name.push_back(char16_t(*c));
  value.type = REG_BINARY;
  for (size_t i = 0; i < bytes; ++i) value.data.push_back(char(i * 7 & 0xFF));
  return platform::regfile::DumpValue(value);
}

namespace {

void Section(std::string* text, const std::string& path, int stamp) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "] %d\n#time=1dd8654%09x\n", 1796652463 + stamp, unsigned(stamp) * 7919u);
  *text += "\n[" + path + buffer;
}

}  // namespace

std::string Sections(size_t targetBytes) {
  std::string text;
  char name[160];
  // The control set first in the file's order would be wrong (Wine sorts
  // "Software" before "System"), but readers take sections in any order;
  // what matters is the link and the mix.
  Section(&text, "System\\\\ControlSet001\\\\Control\\\\Session Manager\\\\Environment", 0);
  text += "\"ComSpec\"=str(2):\"%SystemRoot%\\\\system32\\\\cmd.exe\"\n"
          "\"PATHEXT\"=\".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC\"\n"
          "\"TEMP\"=str(2):\"%SystemRoot%\\\\temp\"\n";
  Section(&text, "System\\\\CurrentControlSet", 1);
  text += "#link\n\"SymbolicLinkValue\"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,00,5c,00,4d,00,"
          "61,00,\\\n  63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,5c,00,\\\n"
          "  43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,00,74,00,30,00,30,00,31,00\n";
  for (int i = 0; text.size() < targetBytes; ++i) {
    switch (i % 5) {
      case 0:  // a class registration and its server
        std::snprintf(name, sizeof name, "Software\\\\Classes\\\\CLSID\\\\{%08X-70DE-11D0-BD40-00A0C911CE86}", i);
        Section(&text, name, i);
        text += "@=\"Some Filter\"\n";
        Section(&text, std::string(name) + "\\\\InprocServer32", i);
        text += "@=\"C:\\\\windows\\\\system32\\\\quartz.dll\"\n\"ThreadingModel\"=\"Both\"\n";
        break;
      case 1:  // an interface
        std::snprintf(name, sizeof name, "Software\\\\Classes\\\\Interface\\\\{%08X-0000-0000-C000-000000000046}", i);
        Section(&text, name, i);
        text += "@=\"IUnknown\"\n";
        Section(&text, std::string(name) + "\\\\ProxyStubClsid32", i);
        text += "@=\"{00000320-0000-0000-C000-000000000046}\"\n";
        break;
      case 2:  // a filter with its data
        std::snprintf(name, sizeof name, "Software\\\\Classes\\\\CLSID\\\\{083863F1-70DE-11D0-BD40-00A0C9%06X}\\\\Instance", i);
        Section(&text, name, i);
        text += "\"CLSID\"=\"{083863F1-70DE-11D0-BD40-00A0C911CE86}\"\n\"FriendlyName\"=\"Filter\"\n";
        text += WrappedHex("FilterData", 160 + size_t(i % 7) * 16);
        break;
      case 3:  // software settings
        std::snprintf(name, sizeof name, "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Setting%05d", i);
        Section(&text, name, i);
        text += "\"Enabled\"=dword:00000001\n\"Path\"=str(2):\"%ProgramFiles%\\\\Common Files\\\\Tool\"\n";
        break;
      default:  // the control set's services
        std::snprintf(name, sizeof name, "System\\\\ControlSet001\\\\Services\\\\Service%05d", i);
        Section(&text, name, i);
        text += "\"DisplayName\"=\"Service\"\n\"ErrorControl\"=dword:00000001\n"
                "\"ImagePath\"=str(2):\"C:\\\\windows\\\\system32\\\\svchost.exe -k netsvcs\"\n"
                "\"Start\"=dword:00000003\n\"Type\"=dword:00000010\n";
        break;
    }
  }
  return text;
}

std::string SystemReg(size_t targetBytes) {
  std::string text = kHeader;
  return text + Sections(targetBytes > text.size() ? targetBytes - text.size() : 0);
}

}  // namespace prefixlike
