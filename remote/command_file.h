// The command-file reader: one pass of Xerces-C++ over the file, holding a
// use of the library's process-wide initialisation, the DOM implementation, the builder and the
// document it owns. Everything is released when the pass object dies.
//
// The reader is locked down for input from outside: no external DTD, no
// external entity or other resource is ever fetched (a file that asks for one
// is refused), entity expansion is bounded, and every parse error makes the
// file unusable instead of being recovered from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <xercesc/dom/DOMElement.hpp>

#include "records/remote_command.h"

class CommandFileParser {
 public:
  CommandFileParser();
  ~CommandFileParser();
  CommandFileParser(const CommandFileParser&) = delete;
  CommandFileParser& operator=(const CommandFileParser&) = delete;

  // Takes a use of the library (initialising it for the first user), obtains
  // the "LS" implementation and a synchronous builder. False on any failure.
  // Nothing here touches the process's locale: the reader converts no text
  // through the C runtime.
  bool Create();
  // Parses the file at path (a Windows path of the system the module works
  // on) and returns its root element, or null on any failure.
  xercesc::DOMElement* Parse(const char16_t* path);
  // Copies the attribute's value into out (capacity units with terminator).
  // False when the element has no such attribute or the value does not fit.
  static bool ReadAttributeText(const xercesc::DOMElement* element, const char* name,
                                std::u16string* out);
  static bool ReadAttribute(const xercesc::DOMElement* element, const char* name, char16_t* out,
                            size_t capacity);
  // Releases the builder (and with it the document), then the use of the
  // library (the last use terminates it). Safe to call more than once.
  void Release();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Decimal text to a 32-bit number as wcstol does it: leading white space, an
// optional sign, digits; no digits gives 0; out-of-range values clamp.
int32_t ParseTypeCode(const char16_t* text);

// Removes white space from both ends, in place.
void TrimWhiteSpace(char16_t* text);

// The command name (the root element's "name", 260 units) and the whole
// command with its "autorun" items; 0 on success, -1 when the file cannot be
// used. FreeRemoteCommand frees the items of a read command.
int ReadCommandName(const char16_t* commandFile, char16_t* name);  // name: 260 units
int ReadCommandFile(const char16_t* commandFile, RemoteCommand& command);
void FreeRemoteCommand(RemoteCommand* command);
