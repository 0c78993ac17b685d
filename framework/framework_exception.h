// The framework's exceptions: an out-of-memory error and an invalid-argument
// error, each able to give its message text. Raised by CArray; caught only on
// the remote-invoke path and at the export boundary.
#pragma once

#include <cstddef>

class CFrameworkException {
 public:
  virtual ~CFrameworkException() = default;
  // Copies the message into buffer (at most maxUnits units with the
  // terminator); returns false when there is no message.
  virtual bool GetErrorMessage(char16_t* buffer, size_t maxUnits) const;

 protected:
  virtual const char16_t* MessageText() const = 0;
};

class CMemoryException : public CFrameworkException {
 protected:
  const char16_t* MessageText() const override { return u"Out of memory."; }
};

class CInvalidArgException : public CFrameworkException {
 protected:
  const char16_t* MessageText() const override {
    return u"Encountered an improper argument.";
  }
};
