// The DOM access layer on Windows: COM and the MSXML DOM document. Every
// interface pointer and string of the component lives in a small owner that
// gives it back on every way out; no failure code of the component leaves
// this file (it ends the operation with "nothing" and is recorded in the
// document, see xml_dom.h).
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <msxml2.h>

#include <string>
#include <vector>

#include "enrich/xml_dom.h"

namespace {

// The published identifiers of the DOM component and its interfaces.
const CLSID kClsidDomDocument = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidDomNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// One counted reference, released once.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() { Reset(); }
  T* get() const { return p_; }
  T** receive() {
    Reset();
    return &p_;
  }
  void** receiveVoid() { return reinterpret_cast<void**>(receive()); }
  T* detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// A BSTR, freed once.
class ScopedBstr {
 public:
  explicit ScopedBstr(const char16_t* text)
      : s_(::SysAllocString(reinterpret_cast<const OLECHAR*>(text))) {}
  ScopedBstr() = default;
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr() { ::SysFreeString(s_); }
  BSTR get() const { return s_; }
  BSTR* receive() {
    ::SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }

 private:
  BSTR s_ = nullptr;
};

// A VARIANT, cleared once.
class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&v_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { ::VariantClear(&v_); }
  VARIANT& get() { return v_; }

 private:
  VARIANT v_;
};

IXMLDOMDocument* AsDocument(XmlDomDocumentRef* ref) { return reinterpret_cast<IXMLDOMDocument*>(ref); }
IXMLDOMNode* AsNode(XmlDomNodeRef* ref) { return reinterpret_cast<IXMLDOMNode*>(ref); }
IXMLDOMNodeList* AsList(XmlDomNodeListRef* ref) { return reinterpret_cast<IXMLDOMNodeList*>(ref); }

void MarkFailed(bool* failed) {
  if (failed != nullptr) *failed = true;
}

}  // namespace

CXmlDocumentWrapper::CXmlDocumentWrapper() {
  ComRef<IUnknown> unknown;
  if (FAILED(::CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_ALL, kIidUnknown,
                                unknown.receiveVoid())) ||
      unknown.get() == nullptr)
    return;
  if (FAILED(::OleRun(unknown.get()))) return;
  ComRef<IXMLDOMDocument> document;
  if (FAILED(unknown.get()->QueryInterface(kIidDomDocument, document.receiveVoid())) ||
      document.get() == nullptr)
    return;
  document_ = reinterpret_cast<XmlDomDocumentRef*>(document.detach());
}

CXmlDocumentWrapper::~CXmlDocumentWrapper() {
  if (document_ != nullptr) AsDocument(document_)->Release();
}

int CXmlDocumentWrapper::LoadFile(const char16_t* path) {
  if (document_ == nullptr || path == nullptr) return 0;
  IXMLDOMDocument* document = AsDocument(document_);
  readFailed_ = false;
  document->put_async(VARIANT_FALSE);
  // The knowledge base is a local file: nothing it names is fetched.
  document->put_resolveExternals(VARIANT_FALSE);
  ScopedVariant source;
  source.get().vt = VT_BSTR;
  source.get().bstrVal = ::SysAllocString(reinterpret_cast<const OLECHAR*>(path));
  if (source.get().bstrVal == nullptr) return 0;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(document->load(source.get(), &loaded))) return 0;
  return loaded == VARIANT_TRUE ? 1 : 0;
}

CXmlNodeWrapper CXmlDocumentWrapper::RootNode() {
  if (document_ == nullptr) return CXmlNodeWrapper();
  ComRef<IXMLDOMElement> element;
  HRESULT hr = AsDocument(document_)->get_documentElement(element.receive());
  if (FAILED(hr)) {
    readFailed_ = true;
    return CXmlNodeWrapper();
  }
  if (element.get() == nullptr) return CXmlNodeWrapper();
  ComRef<IXMLDOMNode> node;
  if (FAILED(element.get()->QueryInterface(kIidDomNode, node.receiveVoid())) || node.get() == nullptr) {
    readFailed_ = true;
    return CXmlNodeWrapper();
  }
  return CXmlNodeWrapper(reinterpret_cast<XmlDomNodeRef*>(node.detach()), 1, &readFailed_);
}

void CXmlNodeWrapper::Reset() {
  if (node_ != nullptr && release_ == 1) AsNode(node_)->Release();
  node_ = nullptr;
}

CXmlNodeListWrapper CXmlNodeWrapper::SelectChildren(const char16_t* name) {
  if (node_ == nullptr || name == nullptr) return CXmlNodeListWrapper();
  ScopedBstr pattern(name);
  if (pattern.get() == nullptr) {
    MarkFailed(failed_);
    return CXmlNodeListWrapper();
  }
  ComRef<IXMLDOMNodeList> list;
  // A selection that fails only yields no list: the loader then sees no
  // entries, as for a document without any.
  if (FAILED(AsNode(node_)->selectNodes(pattern.get(), list.receive())) || list.get() == nullptr)
    return CXmlNodeListWrapper();
  return CXmlNodeListWrapper(reinterpret_cast<XmlDomNodeListRef*>(list.detach()), failed_);
}

std::u16string CXmlNodeWrapper::AttributeText(const char16_t* name) {
  if (node_ == nullptr || name == nullptr) return std::u16string();
  try {
    ComRef<IXMLDOMNamedNodeMap> attributes;
    if (FAILED(AsNode(node_)->get_attributes(attributes.receive()))) {
      MarkFailed(failed_);
      return std::u16string();
    }
    if (attributes.get() == nullptr) return std::u16string();
    ScopedBstr attributeName(name);
    if (attributeName.get() == nullptr) {
      MarkFailed(failed_);
      return std::u16string();
    }
    ComRef<IXMLDOMNode> attribute;
    if (FAILED(attributes.get()->getNamedItem(attributeName.get(), attribute.receive()))) {
      MarkFailed(failed_);
      return std::u16string();
    }
    if (attribute.get() == nullptr) return std::u16string();  // absent: empty text
    ScopedBstr text;
    if (FAILED(attribute.get()->get_text(text.receive()))) {
      MarkFailed(failed_);
      return std::u16string();
    }
    if (text.get() == nullptr) return std::u16string();
    return std::u16string(reinterpret_cast<const char16_t*>(text.get()), ::SysStringLen(text.get()));
  } catch (...) {
    MarkFailed(failed_);
    return std::u16string();
  }
}

void CXmlNodeListWrapper::Reset() {
  if (list_ != nullptr) AsList(list_)->Release();
  list_ = nullptr;
}

long CXmlNodeListWrapper::Length() {
  if (list_ == nullptr) return 0;
  LONG length = 0;
  if (FAILED(AsList(list_)->get_length(&length)) || length < 0) {
    MarkFailed(failed_);
    return 0;
  }
  return length;
}

CXmlNodeWrapper CXmlNodeListWrapper::ItemAt(long index) {
  if (list_ == nullptr) return CXmlNodeWrapper();
  ComRef<IXMLDOMNode> node;
  if (FAILED(AsList(list_)->get_item(index, node.receive()))) {
    MarkFailed(failed_);
    return CXmlNodeWrapper();
  }
  if (node.get() == nullptr) return CXmlNodeWrapper();
  return CXmlNodeWrapper(reinterpret_cast<XmlDomNodeRef*>(node.detach()), 1, failed_);
}

// The component offers no streaming read that parses as load does, so the
// read here is the DOM's: the document loaded whole, then its children
// visited in order.
XmlReadResult ReadChildElements(const char16_t* path, const char16_t* element, const char16_t* const* names,
                                size_t count, const XmlChildVisit& visit) {
  if (path == nullptr || element == nullptr || (count > 0 && names == nullptr) || !visit)
    return XmlReadResult::kNotLoaded;
  CXmlDocumentWrapper document;
  if (!document.LoadFile(path)) return XmlReadResult::kNotLoaded;
  try {
    std::vector<std::u16string> texts(count);
    CXmlNodeListWrapper children = document.RootNode().SelectChildren(element);
    const long length = children.Length();
    for (long i = 0; i < length && !document.ReadFailed(); ++i) {
      CXmlNodeWrapper child = children.ItemAt(i);
      for (size_t n = 0; n < count; ++n) texts[n] = child.AttributeText(names[n]);
      if (document.ReadFailed() || !visit(texts.data())) return XmlReadResult::kIncomplete;
    }
  } catch (...) {
    return XmlReadResult::kIncomplete;
  }
  return document.ReadFailed() ? XmlReadResult::kIncomplete : XmlReadResult::kComplete;
}
