// Runs the selected report blocks one at a time, collects their XML text and
// wraps it, with the group text, in the document envelope. Text is held as
// UTF-8, the form the document is saved and sent in. Not thread-safe: one
// thread uses a builder at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Machine.h"
#include "report/Block.h"
#include "report/BlockTable.h"
#include "report/FileTree.h"
#include "runtime/Status.h"

class ReportBuilder {
 public:
  // Receives one console line of a run: a block's progress line, or the
  // line that names where the document is saved.
  using Progress = std::function<void(const std::wstring& line)>;

  // No blocks.
  explicit ReportBuilder(const platform::Machine& machine);
  // The blocks that `mask` selects (SelectBlocks).
  ReportBuilder(BlockMask mask, bool excludeFlag, const platform::Machine& machine = platform::HostMachine());
  ~ReportBuilder();
  ReportBuilder(const ReportBuilder&) = delete;
  ReportBuilder& operator=(const ReportBuilder&) = delete;

  // Prepares a run: position 0, no block text, and a tree holding only the
  // system drivers folder's files. Group text, groups and blocks are kept.
  void Reset();
  // Replaces the block list with the blocks the mask selects, in table order.
  // The position is kept.
  void SelectBlocks(BlockMask mask, bool excludeFlag);
  bool HasMore() const { return position_ < blocks_.size(); }
  // The progress line of the current block; empty when there is none.
  std::wstring CurrentMessage() const;
  // Runs the current block, appends its text and advances; returns HasMore().
  // An exception from the block leaves text and position unchanged.
  bool RunCurrent();
  // From the current block to the last: hands the block's progress line to
  // `progress`, then runs it. An exception from a block passes out, leaving
  // the position at that block.
  void RunAll(const Progress& progress);
  // Declaration, root start tag with the program's version, group text,
  // block text and root end tag, every line ending with CR LF; UTF-8.
  std::string GetDocument() const;
  // Hands "Saving to PATH" to `progress`, then saves the document as SaveText
  // would, without a copy of it; returns the status (ok, or one naming the
  // path and why).
  qtl::status SaveDocument(const std::wstring& path, const Progress& progress) const;
  // RunAll then SaveDocument, with the same lines and bytes, but each block's
  // text goes to the file as it is made and is not kept (report mode).
  qtl::status RunAllAndSave(const std::wstring& path, const Progress& progress);

  // The group writer: elements and attributes of the client's own groups.
  // StartGroup changes nothing when it raises (std::bad_alloc).
  void StartGroup(const std::wstring& name);
  void SetDataPoint(const std::wstring& name, const std::wstring& value);
  // Closes the innermost open group; ignored when none is open.
  void EndGroup();
  // `count` groups without children at the current depth, for writers of
  // many of them (the events group): `attributes(i, text)` appends the i-th
  // one's attributes to the text, escaped, each after a space. With room for
  // `bytes` more text reserved first, the text grows in place.
  using AttributeWriter = std::function<void(size_t i, std::string& text)>;
  void AddEmptyGroups(std::string_view name, size_t count, size_t bytes, const AttributeWriter& attributes);

  // Selects from `table` instead of the program's block table (for tests).
  void UseBlockTable(const std::vector<BlockRow>& table) { table_ = &table; }

  FileTree& Tree() { return tree_; }
  const std::string& GroupText() const { return groupText_; }
  // How many groups are open.
  size_t GroupDepth() const { return openElements_.size(); }
  const std::string& BlockText() const { return blockText_; }

 private:
  platform::Machine machine_;
  const std::vector<BlockRow>* table_ = &BlockTable();
  uint32_t position_ = 0;
  std::string DocumentHead() const;
  void WriteDocument(dromika::TextSink& out, bool withBlockText) const;

  std::string blockText_;
  FileTree tree_;
  std::string groupText_;
  std::vector<std::unique_ptr<dromika::Block>> blocks_;
  std::vector<std::wstring> openElements_;
  bool startTagPending_ = false;
};

// The short form of a version: "10.2.0.7" gives "10.2", "10" gives "10.10",
// the empty text a lone ".".
std::wstring ShortVersion(const std::wstring& full);
