// Runs the selected report blocks one at a time, collects their XML text and
// wraps it, with the group text, in the document envelope. Not thread-safe:
// one thread uses a builder at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
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
  // block text and root end tag, every line ending with CR LF.
  std::wstring GetDocument() const;
  // Hands "Saving to PATH" to `progress`, then saves the document with
  // SaveText; returns its status (ok, or one naming the path and why).
  qtl::status SaveDocument(const std::wstring& path, const Progress& progress) const;

  // The group writer: elements and attributes of the client's own groups.
  // StartGroup changes nothing when it raises (std::bad_alloc).
  void StartGroup(const std::wstring& name);
  void SetDataPoint(const std::wstring& name, const std::wstring& value);
  // Closes the innermost open group; ignored when none is open.
  void EndGroup();

  // Selects from `table` instead of the program's block table (for tests).
  void UseBlockTable(const std::vector<BlockRow>& table) { table_ = &table; }

  FileTree& Tree() { return tree_; }
  const std::wstring& GroupText() const { return groupText_; }
  // How many groups are open.
  size_t GroupDepth() const { return openElements_.size(); }
  const std::wstring& BlockText() const { return blockText_; }

 private:
  platform::Machine machine_;
  const std::vector<BlockRow>* table_ = &BlockTable();
  uint32_t position_ = 0;
  std::wstring blockText_;
  FileTree tree_;
  std::wstring groupText_;
  std::vector<std::unique_ptr<dromika::Block>> blocks_;
  std::vector<std::wstring> openElements_;
  bool startTagPending_ = false;
};

// The short form of a version: "10.2.0.7" gives "10.2", "10" gives "10.10",
// the empty text a lone ".".
std::wstring ShortVersion(const std::wstring& full);
