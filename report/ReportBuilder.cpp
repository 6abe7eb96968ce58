#include "report/ReportBuilder.h"

#include "Common/TextFile.h"
#include "platform/FileSystem.h"
#include "platform/Program.h"
#include "report/SystemReaders.h"
#include "report/XmlText.h"
#include "runtime/Format.h"
#include "runtime/Str.h"

ReportBuilder::ReportBuilder(const platform::Machine& machine) : machine_(machine), tree_(*machine.files) {}

ReportBuilder::ReportBuilder(BlockMask mask, bool excludeFlag, const platform::Machine& machine)
    : ReportBuilder(machine) {
  SelectBlocks(mask, excludeFlag);
}

ReportBuilder::~ReportBuilder() = default;

void ReportBuilder::Reset() {
  position_ = 0;
  blockText_.clear();
  tree_.Clear();
  tree_.AddFolderContents(&tree_, machine_.files->DriversFolder(), false);
}

void ReportBuilder::SelectBlocks(BlockMask mask, bool excludeFlag) {
  blocks_.clear();
  const BlockContext context{machine_, tree_, excludeFlag, mask};
  for (const auto& row : *table_) {
    if (mask & row.bits) blocks_.push_back(row.create(context));
  }
}

std::wstring ReportBuilder::CurrentMessage() const {
  return HasMore() ? blocks_[position_]->ProgressText() : std::wstring();
}

bool ReportBuilder::RunCurrent() {
  if (!HasMore()) return false;
  blockText_ += blocks_[position_]->Produce();
  ++position_;
  return HasMore();
}

void ReportBuilder::RunAll(const Progress& progress) {
  while (HasMore()) {
    progress(CurrentMessage());
    RunCurrent();
  }
}

std::wstring ShortVersion(const std::wstring& full) {
  const size_t first = full.find(L'.');
  const std::wstring major = full.substr(0, first);
  const size_t from = first == std::wstring::npos ? 0 : first + 1;
  const size_t second = full.find(L'.', from);
  return major + L"." + full.substr(from, second == std::wstring::npos ? std::wstring::npos : second - from);
}

std::wstring ReportBuilder::GetDocument() const {
  std::wstring full;
  GetFileVersion(*machine_.program, machine_.program->ModulePath(), full);
  std::wstring document = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='";
  document.reserve(document.size() + groupText_.size() + blockText_.size() + 64);
  document += ShortVersion(full) + L"' versionDisplay='" + full + L"'>\r\n";
  document += groupText_;
  document += blockText_;
  document += L"</dromika>\r\n";
  return document;
}

qtl::status ReportBuilder::SaveDocument(const std::wstring& path, const Progress& progress) const {
  std::wstring document = GetDocument();
  // The file writer turns each line feed into CR LF; a CR kept here would double.
  str::replace_all(document, std::wstring(L"\r"), std::wstring());
  progress(L"Saving to " + path);
  return SaveText(path, document);
}

// Everything that can fail comes before the first change, so a failure
// (out of memory) leaves text and open elements as they were, and every
// open element's start tag is in the text.
void ReportBuilder::StartGroup(const std::wstring& name) {
  std::wstring element = name;
  std::wstring text = startTagPending_ ? L">\r\n" : L"";
  text.append(2 * openElements_.size(), L' ').append(L"<").append(name);
  openElements_.reserve(openElements_.size() + 1);
  groupText_ += text;
  openElements_.push_back(std::move(element));
  startTagPending_ = true;
}

void ReportBuilder::SetDataPoint(const std::wstring& name, const std::wstring& value) {
  groupText_ += L" " + name + L"=\"" + XmlEscape(value) + L"\"";
}

void ReportBuilder::EndGroup() {
  if (openElements_.empty()) return;
  const std::wstring name = openElements_.back();
  openElements_.pop_back();
  if (startTagPending_) {
    groupText_ += L" />\r\n";
  } else {
    groupText_ += std::wstring(2 * openElements_.size(), L' ') + L"</" + name + L">\r\n";
  }
  startTagPending_ = false;
}
