// The singly linked lists of plain records that the module hands to its
// callers or keeps for one call (the check list, the listing, the items of
// a command). Nodes are zero-filled blocks of malloc, linked through their
// `next` member and freed with free, one by one, by FreeHostList only.
#pragma once

#include <cstdlib>
#include <type_traits>

#include "framework/framework_exception.h"

// Frees every node from head on; null is allowed.
template <typename Node>
void FreeHostList(Node* head) {
  static_assert(std::is_trivially_copyable<Node>::value, "host lists hold plain records");
  while (head != nullptr) {
    Node* next = head->next;
    std::free(head);
    head = next;
  }
}

// A list under construction: nodes are appended in order and owned by the
// builder until Release hands the whole list over, so that a failure part
// way through leaves nothing behind.
template <typename Node>
class HostListBuilder {
 public:
  HostListBuilder() = default;
  HostListBuilder(const HostListBuilder&) = delete;
  HostListBuilder& operator=(const HostListBuilder&) = delete;
  ~HostListBuilder() { FreeHostList(head_); }

  // A new zero-filled node at the end; null when memory is exhausted.
  Node* TryAppend() {
    Node* node = static_cast<Node*>(std::calloc(1, sizeof(Node)));
    if (node == nullptr) return nullptr;
    if (tail_ == nullptr)
      head_ = node;
    else
      tail_->next = node;
    tail_ = node;
    return node;
  }
  // The same, raising the framework's out-of-memory error on failure.
  Node* Append() {
    Node* node = TryAppend();
    if (node == nullptr) throw CMemoryException();
    return node;
  }

  Node* Head() const { return head_; }
  Node* Release() {
    Node* head = head_;
    head_ = tail_ = nullptr;
    return head;
  }

 private:
  Node* head_ = nullptr;
  Node* tail_ = nullptr;
};
