// CXmlResult: the response document of the remote invoke, built in a
// MarkupDoc and saved as UTF-16 to the path it was constructed with.
#pragma once

#include <cstdint>

#include "markup/markup_doc.h"
#include "records/autorun_node.h"
#include "records/remote_command.h"

class CXmlResult {
 public:
  // A null path is taken as empty; a path longer than 259 units is not cut
  // (that would name another file) but left empty, so that saving fails.
  explicit CXmlResult(const char16_t* responsePath);
  virtual ~CXmlResult();
  CXmlResult(const CXmlResult&) = delete;
  CXmlResult& operator=(const CXmlResult&) = delete;

  // One AutoRunItem per command item, under the root <command>Response; 1.
  int BuildItemResults(const CommandItem* first, const char16_t* commandName);
  // One AutoRunItem per listed node, under the root <command>Response; 1.
  int BuildAutoRunList(const AutoRunItemNode* first, const char16_t* commandName);
  // Appends the Result element and saves; the save's result.
  bool AddResultAndSave(const RemoteCommand& command, const char16_t* message, int32_t resultCode);
  // The whole document for an unusable command file, saved; the save's result.
  bool WriteCommandFileError();

  // The document as built so far (for inspection).
  const MarkupDoc& Document() const { return document_; }

 private:
  void StartDocument(const char16_t* commandName);
  void StartEmptyDocument();

  char16_t responsePath_[260];
  MarkupDoc document_;
};
