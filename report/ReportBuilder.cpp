#include "report/ReportBuilder.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/Program.h"
#include "report/SystemReaders.h"
#include "report/XmlText.h"
#include "runtime/AtomicFile.h"
#include "runtime/Format.h"
#include "runtime/Str.h"

namespace {

constexpr std::string_view kDocumentEnd = "</dromika>\r\n";

// The document as saved: every CR is dropped and every line feed written as
// CR LF (both hosts write the same bytes), through a buffer of its own.
class SavedTextSink : public dromika::TextSink {
 public:
  explicit SavedTextSink(const std::wstring& path) : file_(path) { buffer_.reserve(kBuffer + 2); }

  void Append(std::string_view text) override {
    while (!text.empty()) {
      const size_t end = std::min(text.find_first_of("\r\n"), text.size());
      buffer_.append(text.data(), end);
      if (end < text.size()) {
        if (text[end] == '\n') buffer_ += "\r\n";
        text.remove_prefix(end + 1);
      } else {
        text = {};
      }
      if (buffer_.size() >= kBuffer) Flush();
    }
  }

  qtl::status Commit() {
    Flush();
    return file_.Commit();
  }

 private:
  static constexpr size_t kBuffer = 1 << 16;

  void Flush() {
    file_.Write(buffer_);
    buffer_.clear();
  }

  sys::file::AtomicWriter file_;
  std::string buffer_;
};

class StringSink : public dromika::TextSink {
 public:
  explicit StringSink(std::string& text) : text_(text) {}
  void Append(std::string_view utf8) override { text_.append(utf8); }

 private:
  std::string& text_;
};

}  // namespace

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
  const size_t before = blockText_.size();
  StringSink sink(blockText_);
  try {
    blocks_[position_]->Write(sink);
  } catch (...) {
    blockText_.resize(before);
    throw;
  }
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

std::string ReportBuilder::DocumentHead() const {
  std::wstring full;
  GetFileVersion(*machine_.program, machine_.program->ModulePath(), full);
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='" + str::as_u8string(ShortVersion(full)) +
         "' versionDisplay='" + str::as_u8string(full) + "'>\r\n";
}

void ReportBuilder::WriteDocument(dromika::TextSink& out, bool withBlockText) const {
  out.Append(DocumentHead());
  out.Append(groupText_);
  if (withBlockText) out.Append(blockText_);
}

std::string ReportBuilder::GetDocument() const {
  std::string document;
  document.reserve(groupText_.size() + blockText_.size() + 256);
  StringSink sink(document);
  WriteDocument(sink, true);
  document += kDocumentEnd;
  return document;
}

qtl::status ReportBuilder::SaveDocument(const std::wstring& path, const Progress& progress) const {
  SavedTextSink file(path);
  WriteDocument(file, true);
  file.Append(kDocumentEnd);
  progress(L"Saving to " + path);
  return file.Commit();
}

// The file is made while the blocks run; a folder that cannot take it still
// sees every block run and fails at the end, as a save of the whole text would.
qtl::status ReportBuilder::RunAllAndSave(const std::wstring& path, const Progress& progress) {
  SavedTextSink file(path);
  WriteDocument(file, true);
  while (HasMore()) {
    progress(CurrentMessage());
    blocks_[position_]->Write(file);
    ++position_;
  }
  file.Append(kDocumentEnd);
  progress(L"Saving to " + path);
  return file.Commit();
}

// Everything that can fail comes before the first change, so a failure
// (out of memory) leaves text and open elements as they were, and every
// open element's start tag is in the text.
void ReportBuilder::StartGroup(const std::wstring& name) {
  std::wstring element = name;
  std::string text = startTagPending_ ? ">\r\n" : "";
  text.append(2 * openElements_.size(), ' ').append("<").append(str::as_u8string(name));
  openElements_.reserve(openElements_.size() + 1);
  groupText_ += text;
  openElements_.push_back(std::move(element));
  startTagPending_ = true;
}

void ReportBuilder::SetDataPoint(const std::wstring& name, const std::wstring& value) {
  std::string text = " " + str::as_u8string(name) + "=\"";
  AppendXmlEscaped(text, value);
  groupText_ += text + "\"";
}

void ReportBuilder::EndGroup() {
  if (openElements_.empty()) return;
  const std::wstring name = openElements_.back();
  openElements_.pop_back();
  if (startTagPending_) {
    groupText_ += " />\r\n";
  } else {
    groupText_ += std::string(2 * openElements_.size(), ' ') + "</" + str::as_u8string(name) + ">\r\n";
  }
  startTagPending_ = false;
}

void ReportBuilder::AddEmptyGroups(std::string_view name, size_t count, size_t bytes,
                                   const AttributeWriter& attributes) {
  if (count == 0) return;
  groupText_.reserve(groupText_.size() + bytes);
  if (startTagPending_) groupText_ += ">\r\n";
  startTagPending_ = false;
  const std::string start = std::string(2 * openElements_.size(), ' ') + "<" + std::string(name);
  for (size_t i = 0; i < count; ++i) {
    groupText_ += start;
    attributes(i, groupText_);
    groupText_ += " />\r\n";
  }
}
