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
#include "collector/base/Status.h"
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

// Once a stop is asked for, what is being received or stored gets this long.
constexpr int64_t kDrainMs = 5000;
// Descriptors kept for the store and everything else that is not a connection.
constexpr rlim_t kSpareFiles = 128;

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "dromika-collector: %s\n", message.c_str());
  return code;
}

// Blocks until SIGINT or SIGTERM; both are blocked first in every thread.
void WaitForStop(const sigset_t& stops) {
  int signal = 0;
  sigwait(&stops, &signal);
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
  if (!options.tlsCert.empty()) {
    if (auto s = LoadTlsFiles(options.tlsCert, options.tlsKey, config.certPem, config.keyPem); !s.ok()) {
      return Fail(s.message(), 2);
    }
  }
  std::unique_ptr<Store> store;
  if (auto s = OpenStore(options.store, store); !s.ok()) return Fail(s.message(), 1);
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  signal(SIGPIPE, SIG_IGN);
  HttpServer server(*store, tokens);
  if (auto s = server.Start(config); !s.ok()) return Fail(s.message() + ": " + options.listen, 1);
  std::unique_ptr<Retention> retention;
  if (options.retainDays > 0) retention = std::make_unique<Retention>(*store, options.retainDays);
  const std::string host = options.listen.substr(0, options.listen.rfind(':'));
  std::printf("dromika-collector: listening on %s://%s:%u, store %s\n", config.certPem.empty() ? "http" : "https",
              host.c_str(), server.Port(), options.store.c_str());
  std::fflush(stdout);
  WaitForStop(stops);
  retention.reset();  // a batch under way is finished first
  if (!server.Stop(kDrainMs)) {
    // A document still being read or stored is not answered, so its sender
    // sends it again; everything answered is already durable.
    std::fprintf(stderr, "dromika-collector: stopping with requests still under way after %lld ms\n",
                 static_cast<long long>(kDrainMs));
    std::fflush(stderr);
    std::_Exit(0);
  }
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
  Options options;
  if (auto s = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, ProcessEnvironment); !s.ok()) {
    std::fprintf(stderr, "dromika-collector: %s\n%s", s.message().c_str(), UsageText().c_str());
    return 2;
  }
  if (options.command == "help") return std::fputs(HelpText(options.helpTopic).c_str(), stdout) < 0;
  if (options.command == "version") return std::printf("dromika-collector %s\n", DROMIKA_VERSION_TEXT) < 0;
  if (options.command == "render") return Render(options);
  if (options.command == "prune") return PruneCommand(options);
  if (options.command == "backup") return BackupCommand(options);
  if (options.command == "diff") return DiffReports(options);
  return options.command == "serve" ? Serve(options) : Import(options);
}
