// The DOM access layer on Linux, over libxml2. The file is read through the
// platform layer (a Windows path of the current system image) and parsed without network access and
// without loading external entities or DTDs; the parser's own messages are
// silenced (a file that does not load is simply not used).
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "enrich/xml_dom.h"
#include "platform/file_io.h"
#include "platform/wtext.h"

namespace {

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

struct Document {
  xmlDocPtr tree = nullptr;
  ~Document() {
    if (tree != nullptr) xmlFreeDoc(tree);
  }
};

typedef std::vector<xmlNodePtr> NodeList;

Document* AsDocument(XmlDomDocumentRef* ref) { return reinterpret_cast<Document*>(ref); }
xmlNodePtr AsNode(XmlDomNodeRef* ref) { return reinterpret_cast<xmlNodePtr>(ref); }
XmlDomNodeRef* NodeRef(xmlNodePtr node) { return reinterpret_cast<XmlDomNodeRef*>(node); }
NodeList* AsList(XmlDomNodeListRef* ref) { return reinterpret_cast<NodeList*>(ref); }

void MarkFailed(bool* failed) {
  if (failed != nullptr) *failed = true;
}

// Knowledge bases larger than this are not loaded (the shipped one is a few
// dozen kilobytes; a hundred thousand entries take about twenty megabytes).
constexpr size_t kMaxFileBytes = size_t(1) << 30;

bool IsNamedElement(xmlNodePtr node, const std::string& name) {
  if (node->type != XML_ELEMENT_NODE || node->name == nullptr) return false;
  if (node->ns != nullptr && node->ns->prefix != nullptr) return false;  // "p:RunItem" is another name
  return std::strcmp(reinterpret_cast<const char*>(node->name), name.c_str()) == 0;
}

}  // namespace

CXmlDocumentWrapper::CXmlDocumentWrapper() {
  // libxml2 asks to be initialised once before threads parse at the same
  // time; its first initialisation is not safe against a second thread.
  static std::once_flag initialised;
  std::call_once(initialised, [] { xmlInitParser(); });
  document_ = reinterpret_cast<XmlDomDocumentRef*>(new (std::nothrow) Document());
}

CXmlDocumentWrapper::~CXmlDocumentWrapper() { delete AsDocument(document_); }

int CXmlDocumentWrapper::LoadFile(const char16_t* path) {
  Document* document = AsDocument(document_);
  if (document == nullptr || path == nullptr) return 0;
  try {
    if (document->tree != nullptr) {
      xmlFreeDoc(document->tree);
      document->tree = nullptr;
    }
    readFailed_ = false;
    std::string bytes;
    if (!platform::ReadWholeFile(path, kMaxFileBytes, &bytes)) return 0;
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) return 0;
    document->tree = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                   kParseOptions);
    return document->tree != nullptr ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

CXmlNodeWrapper CXmlDocumentWrapper::RootNode() {
  Document* document = AsDocument(document_);
  if (document == nullptr || document->tree == nullptr) return CXmlNodeWrapper();
  xmlNodePtr root = xmlDocGetRootElement(document->tree);
  if (root == nullptr) return CXmlNodeWrapper();
  return CXmlNodeWrapper(NodeRef(root), 1, &readFailed_);
}

// Nodes belong to the document's tree; a node wrapper holds no count.
void CXmlNodeWrapper::Reset() { node_ = nullptr; }

CXmlNodeListWrapper CXmlNodeWrapper::SelectChildren(const char16_t* name) {
  if (node_ == nullptr || name == nullptr) return CXmlNodeListWrapper();
  try {
    std::string wanted = wtext::ToUtf8(name);
    NodeList* list = new NodeList();
    for (xmlNodePtr child = AsNode(node_)->children; child != nullptr; child = child->next) {
      if (IsNamedElement(child, wanted)) {
        try {
          list->push_back(child);
        } catch (...) {
          delete list;
          throw;
        }
      }
    }
    return CXmlNodeListWrapper(reinterpret_cast<XmlDomNodeListRef*>(list), failed_);
  } catch (...) {
    MarkFailed(failed_);
    return CXmlNodeListWrapper();
  }
}

std::u16string CXmlNodeWrapper::AttributeText(const char16_t* name) {
  if (node_ == nullptr || name == nullptr) return std::u16string();
  xmlChar* value = nullptr;
  try {
    std::string wanted = wtext::ToUtf8(name);
    value = xmlGetNoNsProp(AsNode(node_), reinterpret_cast<const xmlChar*>(wanted.c_str()));
    if (value == nullptr) return std::u16string();
    std::u16string text = wtext::FromUtf8(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
  } catch (...) {
    if (value != nullptr) xmlFree(value);
    MarkFailed(failed_);
    return std::u16string();
  }
}

void CXmlNodeListWrapper::Reset() {
  delete AsList(list_);
  list_ = nullptr;
}

long CXmlNodeListWrapper::Length() {
  if (list_ == nullptr) return 0;
  return static_cast<long>(AsList(list_)->size());
}

CXmlNodeWrapper CXmlNodeListWrapper::ItemAt(long index) {
  if (list_ == nullptr) return CXmlNodeWrapper();
  const NodeList& nodes = *AsList(list_);
  if (index < 0 || static_cast<size_t>(index) >= nodes.size()) return CXmlNodeWrapper();
  return CXmlNodeWrapper(NodeRef(nodes[static_cast<size_t>(index)]), 1, failed_);
}
