// dromika-collector: `serve` receives documents over HTTP, `import` stores
// saved ones, `render` writes the page of one saved document, `diff`
// compares two saved reports, `prune` and `backup` look after a store.
// Exit codes: 0 done, 1 failed, 2 a usage error or a refused setup.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "collector/DiffCommand.h"
#include "collector/base/Allocator.h"
#include "collector/base/Log.h"
#include "collector/base/Status.h"
#include "collector/http/MetricsListener.h"
#include "collector/http/TlsCredentials.h"
#include "collector/http/HttpServer.h"
#include "collector/http/TlsFiles.h"
#include "collector/document/Import.h"
#include "collector/Options.h"
#include "collector/StoreCommands.h"
#include "collector/store/Retention.h"
#include "collector/pages/DocumentPage.h"
#include "runtime/Version.h"

namespace {

using namespace collector;

// Once a stop is asked for, what is being received or stored gets this
// long to be answered: the drain time.
constexpr int64_t kDrainMs = 10000;
// Descriptors kept for the store and everything else that is not a connection.
constexpr rlim_t kSpareFiles = 128;

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "dromika-collector: %s\n", message.c_str());
  return code;
}

// Each connection takes a descriptor: take all the process may have, and
// accept no more connections than leaves room for the rest.
unsigned ConnectionsAllowed(unsigned wanted) {
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) != 0) return wanted;
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  getrlimit(RLIMIT_NOFILE, &files);
  return static_cast<unsigned>(std::clamp<rlim_t>(files.rlim_cur - std::min(files.rlim_cur, kSpareFiles), 16, wanted));
}

// A store URL as the log shows it: without a password or the query's settings.
std::string Printable(std::string url) {
  url = url.substr(0, url.find('?'));
  const size_t scheme = url.find("://");
  const size_t at = url.find('@');
  if (scheme == std::string::npos || at == std::string::npos) return url;
  const size_t colon = url.find(':', scheme + 3);
  if (colon < at) url.replace(colon, at - colon, ":***");
  return url;
}

// SIGHUP: the tokens file and the TLS pair are read again; a file that does
// not load leaves what was loaded before in use.
void Reload(const Options& options, Tokens& tokens) {
  LogLine line("reload");
  if (!options.tokensFile.empty()) {
    const Status s = tokens.Load(options.tokensFile);
    line.Text("tokens", s.ok() ? std::to_string(tokens.Count()) + " loaded" : "kept the old ones: " + s.message());
  }
  if (!options.tlsCert.empty()) {
    std::string certPem, keyPem;
    std::shared_ptr<TlsCredentials> credentials;
    Status s = LoadTlsFiles(options.tlsCert, options.tlsKey, certPem, keyPem);
    if (s.ok()) s = TlsCredentials::Make(certPem, keyPem, credentials);
    if (s.ok()) TlsCredentials::Present(std::move(credentials));
    line.Text("tls", s.ok() ? "loaded" : "kept the old pair: " + s.message());
  }
  line.Write();
}

int Serve(const Options& options) {
  ServerConfig config;
  if (auto s = ParseListen(options.listen, config.address); !s.ok()) return Fail(s.message(), 2);
  Tokens tokens;
  if (!options.tokensFile.empty()) {
    if (auto s = tokens.Load(options.tokensFile); !s.ok()) return Fail(s.message(), 2);
  } else if (!IsLoopback(config.address)) {
    return Fail("refusing to listen on " + options.listen +
                    " without --tokens FILE: anyone who can reach it could store documents",
                2);
  }
  config.maxBody = options.maxBody;
  config.timeoutSeconds = options.timeoutSeconds;
  config.maxConnections = ConnectionsAllowed(config.maxConnections);
  config.openMetrics = IsLoopback(config.address);
  if (!options.tlsCert.empty()) {
    if (auto s = LoadTlsFiles(options.tlsCert, options.tlsKey, config.certPem, config.keyPem); !s.ok()) {
      return Fail(s.message(), 2);
    }
  }
  std::unique_ptr<Store> store;
  if (auto s = OpenStore(options.store, store); !s.ok()) return Fail(s.message(), 1);
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  HttpServer server(*store, tokens);
  if (auto s = server.Start(config); !s.ok()) return Fail(s.message() + ": " + options.listen, 1);
  MetricsListener metrics([&server] { return static_cast<int64_t>(server.budget().Held()); });
  if (!options.metricsListen.empty()) {
    sockaddr_storage address{};
    if (auto s = ParseListen(options.metricsListen, address); !s.ok()) return Fail(s.message(), 2);
    if (auto s = metrics.Start(address); !s.ok()) return Fail(s.message() + ": " + options.metricsListen, 1);
  }
  std::unique_ptr<Retention> retention;
  if (options.retainDays > 0) retention = std::make_unique<Retention>(*store, options.retainDays);
  const std::string host = options.listen.substr(0, options.listen.rfind(':'));
  const std::string url = (config.certPem.empty() ? "http://" : "https://") + host + ":" + std::to_string(server.Port());
  LogLine start("start");
  start.Text("message", "listening on " + url).Text("url", url).Text("store", Printable(options.store));
  if (!options.metricsListen.empty()) {
    const std::string metricsHost = options.metricsListen.substr(0, options.metricsListen.rfind(':'));
    start.Text("metrics", "http://" + metricsHost + ":" + std::to_string(metrics.Port()) + "/metrics");
  }
  start.Text("version", DROMIKA_VERSION_TEXT).Write();
  int signal = 0;
  while (sigwait(&signals, &signal) == 0 && signal == SIGHUP) Reload(options, tokens);
  LogLine("stopping").Text("signal", signal == SIGINT ? "SIGINT" : "SIGTERM").Number("drain_ms", kDrainMs).Write();
  retention.reset();  // a batch under way is finished first
  if (!server.Stop(kDrainMs)) {
    // A document still being read or stored is not answered, so its sender
    // sends it again; everything answered is already durable.
    LogLine("stopped").Text("message", "requests still under way after the drain time are cut").Write();
    std::_Exit(0);
  }
  LogLine("stopped").Write();
  return 0;
}

int Import(const Options& options) {
  std::unique_ptr<Store> store;
  if (auto s = OpenStore(options.store, store); !s.ok()) return Fail(s.message(), 1);
  return ImportFiles(*store, options.files, options.files.size() > 1 && isatty(STDERR_FILENO));
}

// The document page as one self-contained file: no store, no server.
int Render(const Options& options) {
  const std::string& path = options.files.front();
  std::string bytes;
  if (auto s = ReadDocumentFile(path, bytes); !s.ok()) return Fail(path + ": " + s.message(), 1);
  pages::DocumentPageOptions page;
  page.assets = pages::Assets::kInline;
  page.title = path.substr(path.find_last_of('/') + 1);
  page.info = "<p class=\"muted\">" + pages::Bytes(static_cast<int64_t>(bytes.size())) + "</p>\n";
  std::string html;
  if (auto s = pages::RenderDocumentPage(bytes, page, html); !s.ok()) return Fail(s.message(), 1);
  std::string().swap(bytes);
  if (options.output.empty()) {
    return std::fwrite(html.data(), 1, html.size(), stdout) == html.size() && std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
  if (!out.write(html.data(), static_cast<std::streamsize>(html.size())) || !out.flush()) {
    return Fail("cannot write " + options.output, 1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemoryForReuse();
  Options options;
  if (auto s = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, ProcessEnvironment); !s.ok()) {
    std::fprintf(stderr, "dromika-collector: %s\n%s", s.message().c_str(), UsageText().c_str());
    return 2;
  }
  SetLogFormat(options.logFormat == "text"   ? LogFormat::kText
               : options.logFormat == "json" ? LogFormat::kJson
                                             : DefaultLogFormat());
  if (options.command == "help") return std::fputs(HelpText(options.helpTopic).c_str(), stdout) < 0;
  if (options.command == "version") return std::printf("dromika-collector %s\n", DROMIKA_VERSION_TEXT) < 0;
  if (options.command == "render") return Render(options);
  if (options.command == "prune") return PruneCommand(options);
  if (options.command == "backup") return BackupCommand(options);
  if (options.command == "diff") return DiffReports(options);
  return options.command == "serve" ? Serve(options) : Import(options);
}
