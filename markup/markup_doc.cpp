// MarkupDoc: life cycle, the segmented element table and navigation.
#include "markup/markup_doc.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "framework/framework_exception.h"

namespace {

ElementEntry* NewSegment(int32_t entries) {
  try {
    return new ElementEntry[static_cast<size_t>(entries)]();
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
}

void CopyEntries(ElementEntry* to, const ElementEntry* from, int32_t count) {
  if (count > 0) std::memcpy(to, from, sizeof(ElementEntry) * static_cast<size_t>(count));
}

}  // namespace

MarkupDoc::MarkupDoc() { Parse(); }

MarkupDoc::~MarkupDoc() { FreeElements(); }

void MarkupDoc::FreeElements() {
  if (capacity_ > 0) {
    int32_t segments = ((capacity_ - 1) >> kSegmentShift) + 1;
    for (int32_t i = 0; i < segments; ++i) delete[] segments_[i];
  }
  delete[] segments_;
  segments_ = nullptr;
  capacity_ = 0;
  segmentSlots_ = 0;
}

void MarkupDoc::GrowElements(int32_t n) {
  if (n == 0) n = elementCount_ + elementCount_ / 2;
  if (capacity_ >= n) return;
  const int32_t lastExisting = capacity_ > 0 ? (capacity_ - 1) >> kSegmentShift : 0;
  int32_t newLast = (n - 1) >> kSegmentShift;
  // One segment at a time: a request further out stops at the end of the
  // segment after the last existing one.
  if (newLast > lastExisting + 1) {
    newLast = lastExisting + 1;
    n = (lastExisting + 2) * kSegmentSize;
  }
  if (newLast >= segmentSlots_) {
    int32_t slots = 2 * newLast + 4;
    ElementEntry** table;
    try {
      table = new ElementEntry*[static_cast<size_t>(slots)]();
    } catch (const std::bad_alloc&) {
      throw CMemoryException();
    }
    for (int32_t i = 0; i < segmentSlots_; ++i) table[i] = segments_[i];
    delete[] segments_;
    segments_ = table;
    segmentSlots_ = slots;
  }
  // Entries held by the last existing segment (0 before the first growth).
  const int32_t held = capacity_ - lastExisting * kSegmentSize;
  if (newLast > lastExisting && held < kSegmentSize) {
    ElementEntry* full = NewSegment(kSegmentSize);
    if (held > 0) CopyEntries(full, segments_[lastExisting], held);
    delete[] segments_[lastExisting];
    segments_[lastExisting] = full;
  }
  ElementEntry* segment = NewSegment(n - newLast * kSegmentSize);
  if (newLast == lastExisting && held > 0) {
    CopyEntries(segment, segments_[lastExisting], held);
    delete[] segments_[lastExisting];
  }
  segments_[newLast] = segment;
  capacity_ = n;
}

const ElementEntry& MarkupDoc::GetElement(int32_t index) const {
  if (index < 0 || index >= elementCount_) throw CInvalidArgException();
  return Entry(index);
}

void MarkupDoc::IntoElement() {
  if (currentPos_ == 0 || nodeType_ != 1) return;
  parentPos_ = currentPos_;
  currentPos_ = childPos_;
  childPos_ = 0;
  nodeType_ = currentPos_ != 0 ? 1 : 0;
}

void MarkupDoc::OutOfElement() {
  if (parentPos_ == 0) return;
  childPos_ = currentPos_;
  currentPos_ = parentPos_;
  parentPos_ = Entry(parentPos_).parent;
  nodeType_ = 1;
}

bool MarkupDoc::SetPositions(int32_t parent, int32_t current, int32_t child) {
  auto valid = [this](int32_t index) { return index >= 0 && index < elementCount_; };
  if (!valid(parent) || !valid(current) || !valid(child)) return false;
  if (current == 0 ? child != 0 : Entry(current).parent != parent) return false;
  if (child != 0 && Entry(child).parent != current) return false;
  parentPos_ = parent;
  currentPos_ = current;
  childPos_ = child;
  nodeType_ = current != 0 ? 1 : 0;
  return true;
}

std::u16string MarkupDoc::GetTagName(int32_t index) const {
  if (index <= 0 || index >= elementCount_) return std::u16string();
  TokenCursor cursor;
  cursor.text = text_.data();
  cursor.textLength = static_cast<int32_t>(text_.size());
  cursor.next = std::min(Entry(index).start + 1, cursor.textLength);
  if (!cursor.ScanName()) return std::u16string();
  return text_.substr(static_cast<size_t>(cursor.nameStart),
                      static_cast<size_t>(cursor.nameEnd - cursor.nameStart + 1));
}
