// The host's side of the remote-invoke files: writing a command file and
// reading the response document (UTF-16 with byte-order mark) back.
#pragma once

#include <map>
#include <string>
#include <vector>

struct CommandEntry {
  std::u16string name;
  std::u16string mainkey;
  std::u16string subkey;
  long type = 0;
};

// An element of the response with its attributes in document order.
struct ResponseElement {
  std::string tag;  // "AutoRunItem" or "Result"
  std::vector<std::pair<std::string, std::string>> attributes;  // UTF-8
  std::string Get(const std::string& name) const;
};

struct Response {
  std::string root;
  std::vector<ResponseElement> items;
  ResponseElement result;
  bool hasResult = false;
};

// UTF-8 XML command file; false when it cannot be written.
bool WriteCommandFile(const std::string& path, const std::string& command,
                      const std::vector<CommandEntry>& entries);
// False with a reason when the file is missing or not of the expected form.
bool ReadResponseFile(const std::string& path, Response* response, std::string* error);
