// The parts of the DOM wrappers that do not depend on the backend: handing a
// reference from one wrapper to another.
#include "enrich/xml_dom.h"

CXmlNodeWrapper::CXmlNodeWrapper(CXmlNodeWrapper&& other) noexcept
    : release_(other.release_), node_(other.node_), failed_(other.failed_) {
  other.node_ = nullptr;
}

CXmlNodeWrapper& CXmlNodeWrapper::operator=(CXmlNodeWrapper&& other) noexcept {
  if (this != &other) {
    Reset();
    release_ = other.release_;
    node_ = other.node_;
    failed_ = other.failed_;
    other.node_ = nullptr;
  }
  return *this;
}

CXmlNodeWrapper::~CXmlNodeWrapper() { Reset(); }

CXmlNodeListWrapper::CXmlNodeListWrapper(CXmlNodeListWrapper&& other) noexcept
    : list_(other.list_), failed_(other.failed_) {
  other.list_ = nullptr;
}

CXmlNodeListWrapper& CXmlNodeListWrapper::operator=(CXmlNodeListWrapper&& other) noexcept {
  if (this != &other) {
    Reset();
    list_ = other.list_;
    failed_ = other.failed_;
    other.list_ = nullptr;
  }
  return *this;
}

CXmlNodeListWrapper::~CXmlNodeListWrapper() { Reset(); }
