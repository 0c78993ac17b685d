// Reading the command file: two passes of Xerces-C++ (the command name, then
// the "autorun" items). The library is initialised under one process-wide
// lock with a count, so passes on several threads at once share one
// initialisation and the last one to finish terminates it.
#include "remote/command_file.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/sax/InputSource.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "framework/framework_exception.h"
#include "framework/host_list.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/wtext.h"


namespace xc = xercesc;

namespace {

// Xerces' character type is char16_t in Debian's build and wchar_t (16 bits)
// in the Windows build; both carry the same UTF-16 units.
typedef std::basic_string<XMLCh> XmlText;
static_assert(sizeof(XMLCh) == sizeof(char16_t), "XMLCh holds UTF-16 units");

XmlText ToXml(const char16_t* text) {
  XmlText result;
  if (text != nullptr)
    for (; *text != 0; ++text) result.push_back(static_cast<XMLCh>(*text));
  return result;
}

XmlText ToXml(const char* ascii) {
  XmlText result;
  for (; *ascii != 0; ++ascii) result.push_back(static_cast<XMLCh>(static_cast<unsigned char>(*ascii)));
  return result;
}

std::u16string FromXml(const XMLCh* text) {
  std::u16string result;
  if (text != nullptr)
    for (; *text != 0; ++text) result.push_back(static_cast<char16_t>(*text));
  return result;
}

bool EqualsAscii(const XMLCh* text, const char* ascii) {
  if (text == nullptr) return false;
  for (; *ascii != 0; ++text, ++ascii)
    if (*text != static_cast<XMLCh>(static_cast<unsigned char>(*ascii))) return false;
  return *text == 0;
}

// Entity references in a command file expand at most this many times: far
// more than any real command file needs, far less than an expansion bomb.
constexpr XMLSize_t kEntityExpansionLimit = 1000;

// The command file read through the platform layer, which maps the path on
// every target.
class FileStream : public xc::BinInputStream {
 public:
  explicit FileStream(HANDLE file) : file_(file) {}
  XMLFilePos curPos() const override { return position_; }
  XMLSize_t readBytes(XMLByte* const toFill, const XMLSize_t maxToRead) override {
    DWORD want = maxToRead > 0x10000000u ? 0x10000000u : static_cast<DWORD>(maxToRead);
    DWORD got = 0;
    // A read that fails ends the stream early, which fails the parse.
    if (!platform::ReadFile(file_.get(), toFill, want, &got, nullptr)) return 0;
    position_ += got;
    return got;
  }
  const XMLCh* getContentType() const override { return nullptr; }

 private:
  platform::ScopedFile file_;
  XMLFilePos position_ = 0;
};

// The command file, opened by its path when the parser asks for it.
class CommandFileSource : public xc::InputSource {
 public:
  explicit CommandFileSource(const char16_t* path)
      : xc::InputSource(ToXml(path).c_str()), path_(path) {}
  xc::BinInputStream* makeStream() const override {
    HANDLE file = platform::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) return nullptr;
    return new FileStream(file);
  }

 private:
  std::u16string path_;
};

// Any error makes the file unusable; only warnings let the parse go on.
class FailOnError : public xc::DOMErrorHandler {
 public:
  bool handleError(const xc::DOMError& error) override {
    if (error.getSeverity() == xc::DOMError::DOM_SEVERITY_WARNING) return true;
    failed = true;
    return false;
  }
  bool failed = false;
};

// Nothing outside the command file itself is ever read: a request for an
// external entity, DTD or any other resource is refused and fails the file.
class RefuseResources : public xc::DOMLSResourceResolver {
 public:
  xc::DOMLSInput* resolveResource(const XMLCh* const, const XMLCh* const, const XMLCh* const,
                                  const XMLCh* const, const XMLCh* const) override {
    refused = true;
    return nullptr;
  }
  bool refused = false;
};

// Xerces-C++'s own initialisation count is not safe against threads, so the
// module keeps its own under a lock: the first user initialises the library,
// the last one terminates it, and no parse ever runs without a use held.
std::mutex& XercesMutex() {
  static std::mutex mutex;
  return mutex;
}
long g_xercesUsers = 0;

// Takes one use of the library; false (and no use taken) when it cannot be
// initialised.
bool AcquireXerces() {
  std::lock_guard<std::mutex> lock(XercesMutex());
  if (g_xercesUsers == 0) {
    try {
      xc::XMLPlatformUtils::Initialize();
    } catch (...) {
      return false;
    }
  }
  ++g_xercesUsers;
  return true;
}

void ReleaseXerces() {
  std::lock_guard<std::mutex> lock(XercesMutex());
  if (g_xercesUsers == 0) return;
  if (--g_xercesUsers == 0) {
    try {
      xc::XMLPlatformUtils::Terminate();
    } catch (...) {
    }
  }
}

constexpr size_t kCommandNameUnits = 260;
constexpr size_t kItemTextUnits = 261;

}  // namespace

struct CommandFileParser::State {
  bool initialized = false;
  xc::DOMImplementation* implementation = nullptr;
  xc::DOMLSParser* builder = nullptr;
  FailOnError errors;
  RefuseResources resolver;
  xc::SecurityManager security;
};

CommandFileParser::CommandFileParser() : state_(new State) {}

CommandFileParser::~CommandFileParser() { Release(); }

bool CommandFileParser::Create() {
  Release();
  if (!AcquireXerces()) return false;
  state_->initialized = true;
  try {
    XmlText feature = ToXml("LS");
    state_->implementation = xc::DOMImplementationRegistry::getDOMImplementation(feature.c_str());
    if (state_->implementation == nullptr) return false;
    state_->builder = static_cast<xc::DOMImplementationLS*>(state_->implementation)
                          ->createLSParser(xc::DOMImplementationLS::MODE_SYNCHRONOUS, nullptr);
    if (state_->builder == nullptr) return false;
    state_->builder->resetDocumentPool();

    state_->security.setEntityExpansionLimit(kEntityExpansionLimit);
    xc::DOMConfiguration* config = state_->builder->getDomConfig();
    config->setParameter(xc::XMLUni::fgDOMErrorHandler, &state_->errors);
    config->setParameter(xc::XMLUni::fgDOMResourceResolver, &state_->resolver);
    config->setParameter(xc::XMLUni::fgXercesSecurityManager, &state_->security);
    config->setParameter(xc::XMLUni::fgXercesLoadExternalDTD, false);
    config->setParameter(xc::XMLUni::fgXercesSkipDTDValidation, true);
    config->setParameter(xc::XMLUni::fgXercesDisableDefaultEntityResolution, true);
    config->setParameter(xc::XMLUni::fgDOMEntities, true);
    config->setParameter(xc::XMLUni::fgDOMValidate, false);
    config->setParameter(xc::XMLUni::fgDOMValidateIfSchema, false);
    config->setParameter(xc::XMLUni::fgDOMNamespaces, false);
    config->setParameter(xc::XMLUni::fgXercesSchema, false);
    config->setParameter(xc::XMLUni::fgXercesLoadSchema, false);
    return true;
  } catch (...) {
    return false;
  }
}

xc::DOMElement* CommandFileParser::Parse(const char16_t* path) {
  if (state_->builder == nullptr || path == nullptr) return nullptr;
  try {
    state_->errors.failed = false;
    state_->resolver.refused = false;
    xc::Wrapper4InputSource input(new CommandFileSource(path));
    xc::DOMDocument* document = state_->builder->parse(&input);
    if (document == nullptr || state_->errors.failed || state_->resolver.refused) return nullptr;
    return document->getDocumentElement();
  } catch (...) {
    return nullptr;
  }
}

bool CommandFileParser::ReadAttributeText(const xc::DOMElement* element, const char* name,
                                          std::u16string* out) {
  if (element == nullptr || out == nullptr) return false;
  out->clear();
  try {
    xc::DOMNamedNodeMap* attributes = element->getAttributes();
    if (attributes == nullptr) return false;
    XmlText attributeName = ToXml(name);
    xc::DOMNode* attribute = attributes->getNamedItem(attributeName.c_str());
    if (attribute == nullptr) return false;
    *out = FromXml(attribute->getNodeValue());
    return true;
  } catch (...) {
    return false;
  }
}

bool CommandFileParser::ReadAttribute(const xc::DOMElement* element, const char* name,
                                      char16_t* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return false;
  std::memset(out, 0, capacity * sizeof(char16_t));
  std::u16string value;
  if (!ReadAttributeText(element, name, &value) || value.size() >= capacity) return false;
  return wtext::Copy(out, capacity, value);
}

void CommandFileParser::Release() {
  if (state_->builder != nullptr) {
    try {
      state_->builder->release();
    } catch (...) {
    }
    state_->builder = nullptr;
  }
  state_->implementation = nullptr;
  if (state_->initialized) {
    ReleaseXerces();
    state_->initialized = false;
  }
}

namespace {
bool IsWhiteSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
}  // namespace

int32_t ParseTypeCode(const char16_t* text) {
  if (text == nullptr) return 0;
  while (IsWhiteSpace(*text)) ++text;
  bool negative = false;
  if (*text == u'+' || *text == u'-') {
    negative = *text == u'-';
    ++text;
  }
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  int64_t value = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) {
    value = value * 10 + (*text - u'0');
    if (value > limit) value = limit;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

void TrimWhiteSpace(char16_t* text) {
  if (text == nullptr) return;
  size_t length = wtext::Length(text);
  size_t begin = 0;
  while (begin < length && IsWhiteSpace(text[begin])) ++begin;
  while (length > begin && IsWhiteSpace(text[length - 1])) --length;
  std::memmove(text, text + begin, (length - begin) * sizeof(char16_t));
  text[length - begin] = 0;
}

namespace {

// The root's "name", trimmed, into name (260 units); false when the root has
// none or the trimmed name is longer than 259 units.
bool ReadRootName(const xc::DOMElement* root, char16_t* name) {
  std::u16string value;
  if (!CommandFileParser::ReadAttributeText(root, "name", &value)) return false;
  TrimWhiteSpace(&value[0]);
  value.resize(wtext::Length(value.c_str()));
  if (value.size() >= kCommandNameUnits) return false;
  return wtext::Copy(name, kCommandNameUnits, value);
}

bool HasRunSuffixAtLastUnderscore(const char16_t* name) {
  const char16_t* underscore = wtext::FindLastChar(name, u'_');
  if (underscore == nullptr) return false;
  static const char16_t kSuffix[] = u"_RUN";
  for (int i = 0; i < 4; ++i)
    if (underscore[i] != kSuffix[i]) return false;
  return true;
}

// Reads one "autorun" element; false when an attribute is missing or too long.
bool ReadItem(const xc::DOMElement* element, CommandItem& item) {
  char16_t type[kItemTextUnits] = {};
  if (!CommandFileParser::ReadAttribute(element, "name", item.name, kItemTextUnits) ||
      !CommandFileParser::ReadAttribute(element, "mainkey", item.mainkey, kItemTextUnits) ||
      !CommandFileParser::ReadAttribute(element, "subkey", item.subkey, kItemTextUnits) ||
      !CommandFileParser::ReadAttribute(element, "type", type, kItemTextUnits))
    return false;
  item.type = ParseTypeCode(type);
  return true;
}

}  // namespace

int ReadCommandName(const char16_t* commandFile, char16_t* name) {
  if (commandFile == nullptr || name == nullptr) return -1;
  CommandFileParser parser;
  if (!parser.Create()) return -1;
  const xc::DOMElement* root = parser.Parse(commandFile);
  if (root == nullptr) return -1;
  return ReadRootName(root, name) ? 0 : -1;
}

int ReadCommandFile(const char16_t* commandFile, RemoteCommand& command) {
  char16_t name[kCommandNameUnits] = {};
  if (ReadCommandName(commandFile, name) != 0) return -1;
  if (!HasRunSuffixAtLastUnderscore(name)) return -1;

  wtext::Copy(command.name, name);
  command.items = nullptr;

  CommandFileParser parser;
  if (!parser.Create()) return -1;
  const xc::DOMElement* root = parser.Parse(commandFile);
  if (root == nullptr) return -1;

  try {
    // One pass over the siblings: a node list's item(i) walks from the first
    // child each time, which makes a large file quadratic.
    HostListBuilder<CommandItem> items;
    for (const xc::DOMNode* child = root->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      if (child->getNodeType() != xc::DOMNode::ELEMENT_NODE ||
          !EqualsAscii(child->getNodeName(), "autorun"))
        continue;
      CommandItem* item = items.Append();
      if (!ReadItem(static_cast<const xc::DOMElement*>(child), *item)) {
        command.items = items.Release();
        return -1;
      }
    }
    command.items = items.Release();
  } catch (const CFrameworkException&) {
    throw;
  } catch (...) {
    return -1;
  }
  return 0;
}

void FreeRemoteCommand(RemoteCommand* command) {
  if (command == nullptr) return;
  FreeHostList(command->items);
  std::free(command);
}
