// The file system block's reference: one plain program that walks the same
// tree (opendir, lstat), reads the same excerpts (whole up to 512,000 bytes,
// else the first and last 256,000), decodes them as UTF-8 (any other byte as
// the character of its value), escapes them for XML and writes one element
// per file, through stdio. It uses nothing of the project.
//   filesystem_reference FOLDER OUT
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr off_t kLimit = 512000, kHalf = 256000;

void Escape(std::string& out, const unsigned char* s, size_t n) {
  for (size_t i = 0; i < n;) {
    unsigned c = s[i], length = 1;
    if (c >= 0xC2 && c <= 0xF4) {  // a lead byte: take the character when its continuation bytes follow
      const unsigned want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      unsigned code = c & (0xFF >> (want + 1));
      unsigned k = 1;
      for (; k < want && i + k < n && (s[i + k] & 0xC0) == 0x80; ++k) code = code << 6 | (s[i + k] & 0x3F);
      if (k == want) c = code, length = want;
    }
    i += length;
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\n': out += "\r\n"; break;
      default:
        if (c >= 0x20 && c < 0x80) {
          out += static_cast<char>(c);
        } else {
          out += "&#" + std::to_string(c) + ";";
        }
    }
  }
}

void Excerpt(std::string& out, const std::string& path, off_t size) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  std::vector<unsigned char> buffer(static_cast<size_t>(std::min(size, kLimit)));
  auto chunk = [&](off_t at, size_t n) {
    const ssize_t got = pread(fd, buffer.data(), n, at);
    if (got > 0) Escape(out, buffer.data(), static_cast<size_t>(got));
  };
  if (size <= kLimit) {
    chunk(0, buffer.size());
  } else {
    chunk(0, kHalf);
    out += "\r\n\r\n--- truncated ---\r\n\r\n";
    chunk(size - kHalf, kHalf);
  }
  close(fd);
}

bool EndsWith(const std::string& s, const char* suffix) {
  const std::string tail(suffix);
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void Walk(const std::string& folder, std::FILE* out, int depth, std::string& text) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.push_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  const std::string indent(2 * depth, ' ');
  std::vector<std::pair<std::string, struct stat>> files;
  for (const auto& name : names) {
    struct stat info {};
    if (lstat((folder + "/" + name).c_str(), &info) != 0) continue;
    if (!S_ISDIR(info.st_mode)) {
      files.emplace_back(name, info);
      continue;
    }
    text = indent + "<dir name=\"";
    Escape(text, reinterpret_cast<const unsigned char*>(name.data()), name.size());
    text += "\">\r\n";
    std::fwrite(text.data(), 1, text.size(), out);
    Walk(folder + "/" + name, out, depth + 1, text);
    std::fprintf(out, "%s</dir>\r\n", indent.c_str());
  }
  for (const auto& [name, info] : files) {
    std::tm t{};
    gmtime_r(&info.st_mtime, &t);
    char line[160];
    text = indent + "<file name=\"";
    Escape(text, reinterpret_cast<const unsigned char*>(name.data()), name.size());
    std::snprintf(line, sizeof line, "\" bytes=\"%lld\" datemodified=\"%02d/%02d/%d %d:%02d:%02d\"",
                  static_cast<long long>(info.st_size), t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour,
                  t.tm_min, t.tm_sec);
    text += line;
    if (EndsWith(name, ".log") || EndsWith(name, ".txt") || EndsWith(name, ".xml")) {
      text += ">\r\n";
      Excerpt(text, folder + "/" + name, info.st_size);
      text += indent + "</file>\r\n";
    } else {
      text += "/>\r\n";
    }
    std::fwrite(text.data(), 1, text.size(), out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return std::fprintf(stderr, "usage: %s FOLDER OUT\n", argv[0]), 2;
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) return std::perror(argv[2]), 1;
  std::string text;
  std::fputs("<filesystem>\r\n", out);
  Walk(argv[1], out, 1, text);
  std::fputs("</filesystem>\r\n", out);
  return std::fclose(out) == 0 ? 0 : 1;
}
