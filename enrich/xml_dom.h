// The DOM access layer: the few operations the knowledge-base loader needs
// from an XML document — load a file synchronously, take the document
// element, select its child elements of one name in document order, count
// and index them, and read an attribute's text by its exact name.
//
// Windows meets this contract through COM and the MSXML DOM document
// (xml_dom_msxml.cpp); Linux through libxml2 (xml_dom_libxml2.cpp). Each
// wrapper holds at most one reference to an object of the backend.
//
// No failure of the backend leaves this layer as an exception or a crash.
// A failure after a successful load (a failing call of the component, an
// exhausted allocation) makes the operation answer "nothing" (no node, no
// list, an empty text, a length of 0) and is recorded in the document, so
// that the loader can tell a complete read from an interrupted one
// (CXmlDocumentWrapper::ReadFailed).
//
// Lifetime: node and list wrappers obtained from a document must not outlive
// the document wrapper (on Linux the nodes belong to the document's tree).
//
// ReadChildElements reads a file once, from start to end, and hands over the
// attribute texts of the document element's children of one name as it goes:
// the answers of the DOM above, without keeping the document.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Opaque backend objects: each backend converts its own pointers to and
// from these incomplete types; nothing else ever dereferences them.
struct XmlDomDocumentRef;
struct XmlDomNodeRef;
struct XmlDomNodeListRef;

class CXmlNodeWrapper;
class CXmlNodeListWrapper;

class CXmlDocumentWrapper {
 public:
  // Creates the backend's document; on failure the wrapper holds none and
  // every later operation does nothing and reports failure.
  CXmlDocumentWrapper();
  virtual ~CXmlDocumentWrapper();
  CXmlDocumentWrapper(const CXmlDocumentWrapper&) = delete;
  CXmlDocumentWrapper& operator=(const CXmlDocumentWrapper&) = delete;

  bool HasDocument() const { return document_ != nullptr; }
  // 1 when the file (a Windows path) was loaded and parsed, else 0.
  int LoadFile(const char16_t* path);
  // The document element; an empty wrapper when there is none.
  CXmlNodeWrapper RootNode();
  // True once any operation on this document or its nodes and lists has
  // failed after the load.
  bool ReadFailed() const { return readFailed_; }

 private:
  XmlDomDocumentRef* document_ = nullptr;
  bool readFailed_ = false;
};

class CXmlNodeWrapper {
 public:
  CXmlNodeWrapper() = default;
  // Takes over one reference to node. release 1: give it back on
  // destruction; 0: forget it without releasing. failed: the owning
  // document's failure record (may be null).
  CXmlNodeWrapper(XmlDomNodeRef* node, int release, bool* failed)
      : release_(release), node_(node), failed_(failed) {}
  virtual ~CXmlNodeWrapper();
  CXmlNodeWrapper(CXmlNodeWrapper&& other) noexcept;
  CXmlNodeWrapper& operator=(CXmlNodeWrapper&& other) noexcept;
  CXmlNodeWrapper(const CXmlNodeWrapper&) = delete;
  CXmlNodeWrapper& operator=(const CXmlNodeWrapper&) = delete;

  bool IsEmpty() const { return node_ == nullptr; }
  // The node's child elements called name, in document order; an empty list
  // wrapper when the node is empty or the selection fails.
  CXmlNodeListWrapper SelectChildren(const char16_t* name);
  // The text of the attribute called exactly name; empty when the node is
  // empty or has no such attribute.
  std::u16string AttributeText(const char16_t* name);

 private:
  void Reset();
  int release_ = 0;
  XmlDomNodeRef* node_ = nullptr;
  bool* failed_ = nullptr;
};

class CXmlNodeListWrapper {
 public:
  CXmlNodeListWrapper() = default;
  CXmlNodeListWrapper(XmlDomNodeListRef* list, bool* failed) : list_(list), failed_(failed) {}
  virtual ~CXmlNodeListWrapper();
  CXmlNodeListWrapper(CXmlNodeListWrapper&& other) noexcept;
  CXmlNodeListWrapper& operator=(CXmlNodeListWrapper&& other) noexcept;
  CXmlNodeListWrapper(const CXmlNodeListWrapper&) = delete;
  CXmlNodeListWrapper& operator=(const CXmlNodeListWrapper&) = delete;

  bool IsEmpty() const { return list_ == nullptr; }
  // Number of nodes; 0 for an empty wrapper.
  long Length();
  // The node at index (from 0); an empty wrapper when there is none.
  CXmlNodeWrapper ItemAt(long index);

 private:
  void Reset();
  XmlDomNodeListRef* list_ = nullptr;
  bool* failed_ = nullptr;
};

// How a streaming read ended. kNotLoaded: the file could not be read or
// parsed (LoadFile would answer 0); kIncomplete: it parsed, but an element
// could not be handed over whole (a visit returned false or threw, an
// allocation failed), as ReadFailed would tell; kComplete: every element was.
enum class XmlReadResult { kNotLoaded, kIncomplete, kComplete };

// Called for each child element called `element` of the document element, in
// document order, with texts[i] the text of the attribute names[i] exactly as
// CXmlNodeWrapper::AttributeText reads it (empty when absent). The texts are
// the read's own, valid during the call. Returning false (or throwing) ends
// the handing over; the file is still parsed to its end.
typedef std::function<bool(const std::u16string* texts)> XmlChildVisit;

// Parses the file (a Windows path) as CXmlDocumentWrapper::LoadFile does,
// accepting and refusing the same documents, and visits the elements as
// above. Nothing is visited twice; on kNotLoaded, elements before the fault
// may have been visited, so a caller keeps what it gathers until the end.
XmlReadResult ReadChildElements(const char16_t* path, const char16_t* element, const char16_t* const* names,
                                size_t count, const XmlChildVisit& visit);
