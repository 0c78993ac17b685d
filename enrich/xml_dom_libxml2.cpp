// The DOM access layer on Linux, over libxml2. The file is read through the
// platform layer (a Windows path of the current system image) and parsed without network access and
// without loading external entities or DTDs; the parser's own messages are
// silenced (a file that does not load is simply not used).
//
// The streaming read runs the very parse xmlReadMemory runs (the same
// context, options and tree-building callbacks), so it accepts and refuses
// the same documents and builds the same nodes; it only hands each child of
// the document element over when its end tag is read, then frees it, so the
// document is never held whole.
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
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

// The file's bytes, when it can be read and is small enough for the
// parser's int length.
bool ReadParsable(const char16_t* path, std::string* bytes) {
  return platform::ReadWholeFile(path, kMaxFileBytes, bytes) && bytes->size() <= static_cast<size_t>(INT32_MAX);
}

// libxml2 asks to be initialised once before threads parse at the same
// time; its first initialisation is not safe against a second thread.
void InitialiseLibrary() {
  static std::once_flag initialised;
  std::call_once(initialised, [] { xmlInitParser(); });
}

// Appends the text xmlGetNoNsProp gives for the attribute: the first one of
// that name in no namespace, its text node read in place when it has just
// one (the common case, no copy made); otherwise (entity references to
// join, a default value from the document's DTD) the library's own answer.
// Absent: nothing.
void AppendAttributeText(xmlNodePtr node, const xmlChar* name, std::u16string* out) {
  for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
    if (attribute->ns != nullptr || !xmlStrEqual(attribute->name, name)) continue;
    xmlNodePtr text = attribute->children;
    if (text == nullptr) return;
    if (text->next == nullptr && (text->type == XML_TEXT_NODE || text->type == XML_CDATA_SECTION_NODE)) {
      if (text->content != nullptr) {
        const char* bytes = reinterpret_cast<const char*>(text->content);
        wtext::AppendFromUtf8(bytes, std::strlen(bytes), out);
      }
      return;
    }
    break;
  }
  xmlChar* value = xmlGetNoNsProp(node, name);
  if (value == nullptr) return;
  try {
    const char* bytes = reinterpret_cast<const char*>(value);
    wtext::AppendFromUtf8(bytes, std::strlen(bytes), out);
  } catch (...) {
    xmlFree(value);
    throw;
  }
  xmlFree(value);
}

// A streaming read's state, reached through its parser context.
struct ChildReader {
  xmlParserCtxtPtr parser = nullptr;  // the document's own (not an entity's)
  std::string element;
  std::vector<std::string> names;
  std::vector<std::u16string> texts;  // reused: their room stays from element to element
  const XmlChildVisit* visit = nullptr;
  bool stopped = false;  // an element could not be handed over
};

void HandOver(ChildReader& reader, xmlNodePtr element) {
  try {
    for (size_t i = 0; i < reader.names.size(); ++i) {
      reader.texts[i].clear();
      AppendAttributeText(element, reinterpret_cast<const xmlChar*>(reader.names[i].c_str()), &reader.texts[i]);
    }
    if (!(*reader.visit)(reader.texts.data())) reader.stopped = true;
  } catch (...) {
    reader.stopped = true;
  }
}

// The end of an element: the tree-building callback closes it; a child of
// the document element is then handed over (when it has the name) and freed
// with the text and other nodes before it. An entity's content is parsed
// with a context of its own that shares these callbacks: its elements are
// left to the tree as they are.
void EndElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
  xmlParserCtxtPtr parser = static_cast<xmlParserCtxtPtr>(context);
  xmlNodePtr ended = parser->node;
  xmlSAX2EndElementNs(context, localName, prefix, uri);
  ChildReader* reader = static_cast<ChildReader*>(parser->_private);
  if (reader == nullptr || parser != reader->parser || ended == nullptr) return;
  xmlNodePtr root = parser->node;
  if (root == nullptr || parser->nodeNr != 1 || ended->parent != root ||
      root->parent != reinterpret_cast<xmlNodePtr>(parser->myDoc))
    return;
  if (!reader->stopped && IsNamedElement(ended, reader->element)) HandOver(*reader, ended);
  while (root->children != nullptr) {
    xmlNodePtr done = root->children;
    xmlUnlinkNode(done);
    xmlFreeNode(done);
  }
}

struct ParserContext {
  xmlParserCtxtPtr context = nullptr;
  ~ParserContext() {
    if (context == nullptr) return;
    if (context->myDoc != nullptr) xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);
  }
};

}  // namespace

CXmlDocumentWrapper::CXmlDocumentWrapper() {
  InitialiseLibrary();
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
    if (!ReadParsable(path, &bytes)) return 0;
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

XmlReadResult ReadChildElements(const char16_t* path, const char16_t* element, const char16_t* const* names,
                                size_t count, const XmlChildVisit& visit) {
  if (path == nullptr || element == nullptr || (count > 0 && names == nullptr) || !visit)
    return XmlReadResult::kNotLoaded;
  InitialiseLibrary();
  try {
    ChildReader reader;
    reader.element = wtext::ToUtf8(element);
    for (size_t i = 0; i < count; ++i) reader.names.push_back(wtext::ToUtf8(names[i]));
    reader.texts.resize(count);
    reader.visit = &visit;
    std::string bytes;
    if (!ReadParsable(path, &bytes)) return XmlReadResult::kNotLoaded;
    // As xmlReadMemory: a memory context, the options, the whole document.
    ParserContext parser;
    parser.context = xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
    if (parser.context == nullptr) return XmlReadResult::kNotLoaded;
    xmlCtxtUseOptions(parser.context, kParseOptions);
    parser.context->sax->endElementNs = EndElement;
    parser.context->_private = &reader;
    reader.parser = parser.context;
    xmlParseDocument(parser.context);
    if (!parser.context->wellFormed || parser.context->myDoc == nullptr) return XmlReadResult::kNotLoaded;
    // The library stops building, but does not call the document malformed,
    // when it runs out of memory: what was handed over is then not all.
    if (reader.stopped || parser.context->errNo == XML_ERR_NO_MEMORY) return XmlReadResult::kIncomplete;
    return XmlReadResult::kComplete;
  } catch (...) {
    return XmlReadResult::kNotLoaded;
  }
}
