// The collector's throughput, each figure beside its reference from the same run:
//   bench_collector ingest STORE_URL analytics|REPORT_FILE [documents]
//     stores the documents in-process with 16 threads, then posts as many
//     others over HTTP on loopback with 16 keep-alive uploaders, then
//     imports as many others from files (`dromika-collector import`), and
//     prints documents/s, events/s, p99 latency, the HTTP/in-process and
//     import/HTTP ratios, and the CPU per stored document beside the CPU of
//     reading the same documents alone.
//   bench_collector parse FILE
//     reads one document with the streaming reader; prints seconds.
//   bench_collector document events|attributes|groups FILE
//     writes one large document of that shape (bench/collector_memory.sh).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "collector/base/Allocator.h"
#include "collector/base/Clock.h"
#include "collector/document/DocumentReader.h"
#include "collector/base/Status.h"
#include "collector/http/HttpServer.h"
#include "collector/document/Import.h"
#include "collector/document/Ingest.h"

using namespace collector;

namespace {

constexpr int kUploaders = 16;

// The CPU seconds (user and system) this process has used so far.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// About 200 events, two client groups and a system block, unique per number.
std::string AnalyticsDocument(int number) {
  std::string d = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='1.0' versionDisplay='1.0.0.1'>\r\n";
  d += "<session run=\"" + std::to_string(number) + "\" build=\"4.2.1\" channel=\"stable\" />\r\n";
  d += "<project files=\"12\" size=\"3400\" language=\"en\" />\r\n<events>\r\n";
  for (int k = 0; k < 200; ++k) {
    d += "  <event name=\"ui.action." + std::to_string(k % 25) + "\" value=\"" + std::to_string(k) +
         "\" eventtime=\"0d 0:00:" + std::to_string(10 + k % 50) + ".120\" elapsed=\"0d 0:00:00." +
         std::to_string(100 + k % 900) + "\" />\r\n";
  }
  d += "</events>\r\n<system>\r\n  <wmi>\r\n"
       "    <Win32_OperatingSystem Caption=\"Microsoft Windows 10 Pro\" CSName=\"PC-" + std::to_string(number % 500) +
       "\" Version=\"10.0.19045\" BuildNumber=\"19045\" OSArchitecture=\"64-bit\"/>\r\n"
       "    <Win32_Processor Name=\"Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\" NumberOfCores=\"6\"/>\r\n"
       "    <Win32_ComputerSystem Name=\"PC-" + std::to_string(number % 500) +
       "\" NumberOfLogicalProcessors=\"12\" TotalPhysicalMemory=\"17069301760\"/>\r\n"
       "  </wmi>\r\n  <processors count=\"12\" type=\"8664\" architecture=\"9\" level=\"6\" revision=\"40970\"/>\r\n"
       "  <memory rambytes=\"17069301760\" ram=\"16 GB\"/>\r\n</system>\r\n</dromika>\r\n";
  return d;
}

std::string ReportDocument(const std::string& report, int number) {
  std::string d = report;
  d.insert(d.rfind("</dromika>"), "<!-- " + std::to_string(number) + " -->\r\n");
  return d;
}

struct Figures {
  double seconds = 0;
  std::vector<double> latencies;
  int64_t events = 0;
  int failures = 0;
};

// Runs `one(number)` for numbers [first, first + count) on 16 threads.
Figures RunParallel(int first, int count, const std::function<bool(int, int64_t&)>& one) {
  Figures figures;
  std::vector<std::vector<double>> latencies(kUploaders);
  std::atomic<int64_t> events{0};
  std::atomic<int> failures{0}, next{first};
  const double start = Seconds();
  std::vector<std::thread> threads;
  for (int t = 0; t < kUploaders; ++t) {
    threads.emplace_back([&, t] {
      for (int n; (n = next++) < first + count;) {
        const double begin = Seconds();
        int64_t stored = 0;
        if (!one(n, stored)) ++failures;
        events += stored;
        latencies[t].push_back(Seconds() - begin);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  figures.seconds = Seconds() - start;
  for (auto& l : latencies) figures.latencies.insert(figures.latencies.end(), l.begin(), l.end());
  std::sort(figures.latencies.begin(), figures.latencies.end());
  figures.events = events;
  figures.failures = failures;
  return figures;
}

void Print(const char* what, const Figures& f) {
  const double p99 = f.latencies.empty() ? 0 : f.latencies[f.latencies.size() * 99 / 100];
  std::printf("%-12s %8zu docs %9.1f docs/s %11.0f events/s  p99 %7.2f ms  failures %d\n", what, f.latencies.size(),
              f.latencies.size() / f.seconds, f.events / f.seconds, p99 * 1000, f.failures);
}

// One keep-alive connection that posts documents and reads the answers.
class Uploader {
 public:
  explicit Uploader(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fd_ = -1;
  }
  ~Uploader() { close(fd_); }

  // The answer's status code, or 0 when the exchange failed.
  int Post(const std::string& body, std::string& answer) {
    std::string request = "POST /v1/documents HTTP/1.1\r\nHost: bench\r\nContent-Type: application/xml\r\n"
                          "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    if (!Send(request) || !Send(body)) return 0;
    size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!Receive()) return 0;
    }
    const int code = std::atoi(buffer_.c_str() + 9);
    const size_t at = buffer_.find("Content-Length: ");
    const size_t length = at < end ? std::strtoul(buffer_.c_str() + at + 16, nullptr, 10) : 0;
    while (buffer_.size() < end + 4 + length) {
      if (!Receive()) return 0;
    }
    answer = buffer_.substr(end + 4, length);
    buffer_.erase(0, end + 4 + length);
    return code;
  }

 private:
  bool Send(const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  bool Receive() {
    char chunk[4096];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }
  int fd_;
  std::string buffer_;
};

int64_t EventsOf(const std::string& answer) {
  const size_t at = answer.find("\"events\":");
  return at == std::string::npos ? 0 : std::atoll(answer.c_str() + at + 9);
}

int Ingest(const std::string& url, const std::string& kind, int count) {
  std::unique_ptr<Store> store;
  if (auto s = OpenStore(url, store); !s.ok()) return std::fprintf(stderr, "%s\n", s.message().c_str()), 1;
  const std::string report = kind == "analytics" ? "" : ReadAll(kind);
  // A different first number on each run, so repeated runs on one store never dedupe.
  const int base = static_cast<int>(NowMs() % 1000000) * 1000;
  auto document = [&](int n) { return report.empty() ? AnalyticsDocument(n) : ReportDocument(report, n); };

  // The reference for the CPU: making and reading the same documents, without storing them.
  double cpu = CpuSeconds();
  for (int n = base; n < base + count; ++n) {
    const std::string bytes = document(n);
    DocumentReader reader(bytes);
    RowBatch batch;
    Status s;
    for (bool done = false; s.ok() && !done;) s = reader.Next(batch, done);
  }
  const double readCpu = (CpuSeconds() - cpu) / count;

  cpu = CpuSeconds();
  const Figures local = RunParallel(base, count, [&](int n, int64_t& events) {
    IngestResult result;
    const bool ok = collector::Ingest(*store, document(n), "bench", result).ok() && result.put.created;
    events = result.rows.events;
    return ok;
  });
  // What the store folds later (the value rollups) is part of storing.
  if (auto s = store->CatchUp(); !s.ok()) return std::fprintf(stderr, "%s\n", s.message().c_str()), 1;
  const double storeCpu = (CpuSeconds() - cpu) / count;

  Tokens none;
  HttpServer server(*store, none);
  ServerConfig config;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&config.address);
  v4->sin_family = AF_INET;
  v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  config.maxBody = 1u << 30;
  if (auto s = server.Start(config); !s.ok()) return std::fprintf(stderr, "%s\n", s.message().c_str()), 1;
  std::vector<std::unique_ptr<Uploader>> uploaders;
  for (int t = 0; t < kUploaders; ++t) uploaders.push_back(std::make_unique<Uploader>(server.Port()));
  std::atomic<int> slot{0};
  thread_local int mine = -1;
  const Figures http = RunParallel(base + count, count, [&](int n, int64_t& events) {
    if (mine < 0) mine = slot++;
    std::string answer;
    const int code = uploaders[mine]->Post(document(n), answer);
    events = EventsOf(answer);
    return code == 201;
  });
  server.Stop();

  // `import` of as many files again, each file once.
  char folder[] = "/tmp/dromika-import-XXXXXX";
  if (!mkdtemp(folder)) return std::perror("mkdtemp"), 1;
  std::vector<std::string> files;
  for (int n = base + 2 * count; n < base + 3 * count; ++n) {
    files.push_back(std::string(folder) + "/" + std::to_string(n) + ".xml");
    std::ofstream(files.back(), std::ios::binary) << document(n);
  }
  const double importStart = Seconds();
  const int imported = ImportFiles(*store, files, false);
  const double importSeconds = Seconds() - importStart;
  for (const auto& file : files) std::remove(file.c_str());
  rmdir(folder);

  const double httpRate = http.latencies.size() / http.seconds;
  std::printf("store %s, %s documents, %d uploaders\n", store->Backend().c_str(),
              report.empty() ? "analytics" : "report", kUploaders);
  Print("in-process", local);
  Print("http", http);
  std::printf("ratio http/in-process: %.2f documents/s\n", httpRate / (local.latencies.size() / local.seconds));
  std::printf("import       %8d docs %9.1f docs/s%s; ratio import/http: %.2f (aim >= 1)\n", count,
              count / importSeconds, imported == 0 ? "" : " (some failed)", count / importSeconds / httpRate);
  std::printf("CPU per stored document: %.2f ms; reading the same alone: %.2f ms; ratio %.2f\n", storeCpu * 1000,
              readCpu * 1000, storeCpu / readCpu);
  return 0;
}

// The file is mapped, not copied, as xmllint reads it in pieces.
int Parse(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) return std::fprintf(stderr, "cannot read %s\n", path.c_str()), 1;
  void* mapped = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) return std::fprintf(stderr, "cannot map %s\n", path.c_str()), 1;
  madvise(mapped, static_cast<size_t>(info.st_size), MADV_SEQUENTIAL);
  const std::string_view bytes(static_cast<const char*>(mapped), static_cast<size_t>(info.st_size));
  const double start = Seconds();
  DocumentReader reader(bytes);
  RowBatch batch;
  Status s;
  for (bool done = false; s.ok() && !done;) s = reader.Next(batch, done);
  const DocumentSummary& summary = reader.Summary();
  std::printf("%.3f s  %zu bytes  state %s  events %lld  blocks %lld%s\n", Seconds() - start, bytes.size(),
              StateName(summary.state), static_cast<long long>(summary.events),
              static_cast<long long>(summary.blocks), s.ok() ? "" : "  refused");
  return s.ok() ? 0 : 1;
}

// The shapes that multiplied most as rows: many tiny events, many small
// attributes, and data points deep in nested groups.
int WriteDocument(const std::string& shape, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<dromika version=\"1.0\">\n";
  if (shape == "events") {  // 5,000,000 events, about 40 MB
    out << "<events>\n";
    std::string thousand;
    for (int i = 0; i < 1000; ++i) thousand += "<event/>";
    for (int i = 0; i < 5000; ++i) out << thousand << "\n";
    out << "</events>\n";
  } else if (shape == "attributes") {  // 8,000,000 attributes on 500,000 elements, about 53 MB
    std::string element = "<g";
    for (int i = 0; i < 16; ++i) element += " a" + std::to_string(i) + "=\"\"";
    element += "/>\n";
    out << "<client>\n";
    for (int i = 0; i < 500000; ++i) out << element;
    out << "</client>\n";
  } else if (shape == "groups") {  // 3,000,000 data points in 123,001 groups four deep, about 50 MB
    std::string settings = "<settings";
    for (int i = 0; i < 50; ++i) settings += " key" + std::to_string(10 + i) + "=\"value" + std::to_string(10 + i) + "\"";
    settings += "/>";
    out << "<client>\n";
    for (int m = 0; m < 3000; ++m) {
      out << "<module_" << 1000 + m << ">\n";
      for (int c = 10; c < 30; ++c) out << "<component_" << c << ">" << settings << "</component_" << c << ">\n";
      out << "</module_" << 1000 + m << ">\n";
    }
    out << "</client>\n";
  } else {
    return std::fprintf(stderr, "unknown shape %s\n", shape.c_str()), 2;
  }
  out << "</dromika>\n";
  return out.good() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemoryForReuse();  // as the collector does
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == "ingest") return Ingest(args[1], args[2], args.size() > 3 ? std::atoi(args[3].c_str()) : 2000);
  if (args.size() == 2 && args[0] == "parse") return Parse(args[1]);
  if (args.size() == 3 && args[0] == "document") return WriteDocument(args[1], args[2]);
  std::fprintf(stderr, "usage: bench_collector ingest STORE_URL analytics|REPORT_FILE [documents]\n"
                       "       bench_collector parse FILE\n"
                       "       bench_collector document events|attributes|groups FILE\n");
  return 2;
}
