#include "collector/compare/DocumentStream.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstring>

namespace collector {
namespace {

class FileStream : public DocumentStream {
 public:
  explicit FileStream(gzFile file) : file_(file) {}
  ~FileStream() override { gzclose(file_); }
  int Read(char* buffer, int size) override { return gzread(file_, buffer, static_cast<unsigned>(size)); }
  std::string Error() const override {
    int code = 0;
    const char* text = gzerror(file_, &code);
    return code == Z_ERRNO ? std::strerror(errno) : text ? text : "cannot read the file";
  }

 private:
  gzFile file_;
};

class PackedStream : public DocumentStream {
 public:
  explicit PackedStream(std::string_view packed) {
    started_ = inflateInit(&stream_) == Z_OK;
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream_.avail_in = static_cast<uInt>(packed.size());
  }
  ~PackedStream() override {
    if (started_) inflateEnd(&stream_);
  }
  int Read(char* buffer, int size) override {
    if (!started_ || failed_) return -1;
    if (ended_) return 0;
    stream_.next_out = reinterpret_cast<Bytef*>(buffer);
    stream_.avail_out = static_cast<uInt>(size);
    const int rc = inflate(&stream_, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) ended_ = true;
    else if (rc != Z_OK) failed_ = true;
    const int produced = size - static_cast<int>(stream_.avail_out);
    return failed_ && produced == 0 ? -1 : produced;
  }
  std::string Error() const override { return "a stored body is damaged"; }

 private:
  z_stream stream_{};
  bool started_ = false, ended_ = false, failed_ = false;
};

int ReadFromStream(void* context, char* buffer, int size) {
  return static_cast<DocumentStream*>(context)->Read(buffer, size);
}

}  // namespace

Status OpenDocumentFile(const std::string& path, std::unique_ptr<DocumentStream>& stream) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Invalid(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return Invalid(S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file");
  gzFile file = gzopen(path.c_str(), "rb");
  if (!file) return Invalid(errno ? std::strerror(errno) : "cannot open the file");
  gzbuffer(file, 1 << 17);
  stream = std::make_unique<FileStream>(file);
  return {};
}

std::unique_ptr<DocumentStream> PackedDocument(std::string_view packed) {
  return std::make_unique<PackedStream>(packed);
}

XmlReader OpenSafeXmlReader(DocumentStream& stream, std::string* message) {
  return OpenSafeXmlReaderIO(ReadFromStream, &stream, message);
}

}  // namespace collector
