#include "collector/http/HttpServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "collector/base/Clock.h"
#include "collector/http/Api.h"
#include "collector/http/Routes.h"
#include "collector/http/Watchdog.h"
#include "collector/http/WorkQueue.h"
#include "collector/pages/SitePages.h"

namespace collector {
namespace {

// The request line and headers the collector takes. The server's own
// memory for them is larger, so that a request somewhat over is still
// handed over and refused here, with the headers every answer carries. A
// connection kept open after an answer keeps all of that memory.
constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kConnectionMemory = 2 * kMaxHeaderBytes;
// Polling threads only move bytes and inflate gzip: a few serve every connection.
constexpr unsigned kPollingThreads = 4;
// Storing waits on the disk and may wait for a session: as many as the
// store has sessions, so that a commit's sync serves many documents.
constexpr size_t kStoringThreads = 16;
// Queries get their own, so uploads cannot starve health checks and pages.
constexpr size_t kAnsweringThreads = 4;
// A sign-in or sign-out form: a token and a few fields.
constexpr size_t kMaxFormBytes = 4096;

// One request, from its headers to its answer.
struct Exchange {
  explicit Exchange(HttpServer& server) : server(server) { ++server.underWay(); }
  ~Exchange() { --server.underWay(); }

  HttpServer& server;
  bool query = false;              // anything routed, not an upload
  const Route* route = nullptr;    // a query's
  std::string path;
  QueryArgs args;
  Admission admission;             // who asks
  std::string form, cookie, sender;
  std::unique_ptr<Upload> upload;  // a POST's, until its answer is known
  std::optional<Response> answer;  // a worker's, once it is done
  bool failed = false;             // the worker threw: the connection is cut
};

std::string_view Header(MHD_Connection* connection, const char* name) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  return value ? std::string_view(value) : std::string_view();
}

ssize_t ReadBody(void* cls, uint64_t position, char* buffer, size_t size) {
  const auto& body = *static_cast<std::string*>(cls);
  if (position >= body.size()) return MHD_CONTENT_READER_END_OF_STREAM;
  const size_t count = std::min<size_t>(size, body.size() - position);
  std::memcpy(buffer, body.data() + position, count);
  return static_cast<ssize_t>(count);
}

// The server hands the body back when it no longer needs it.
void FreeBody(void* cls) { const std::unique_ptr<std::string> owned(static_cast<std::string*>(cls)); }

Watchdog::Clock* ClockOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info ? static_cast<Watchdog::Clock*>(info->socket_context) : nullptr;
}

void StopWatching(MHD_Connection* connection) {
  if (Watchdog::Clock* clock = ClockOf(connection)) clock->answering = true;
}

// From here on the request is answered, and sending a large answer to a
// slow reader is for the idle time-out to judge, not the watchdog. An answer
// made at the headers leaves any body unread, so the connection is closed
// after it; so it is after every query's answer, as it always was.
MHD_Result Queue(MHD_Connection* connection, Response response, bool close) {
  StopWatching(connection);
  auto body = std::make_unique<std::string>(std::move(response.body));
  MHD_Response* reply =
      MHD_create_response_from_callback(body->size(), 64 * 1024, ReadBody, body.get(), FreeBody);
  if (!reply) return MHD_NO;
  body.release();  // FreeBody's from here on
  if (close) MHD_add_response_header(reply, MHD_HTTP_HEADER_CONNECTION, "close");
  std::string type = response.contentType + "; charset=utf-8";
  MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
  // Pages may use only the collector's own script and style; nothing else it
  // sends (raw documents above all) may run anything, even opened directly.
  MHD_add_response_header(reply, "Content-Security-Policy",
                          response.contentType == "text/html" ? pages::kPagePolicy : "default-src 'none'; sandbox");
  MHD_add_response_header(reply, "X-Content-Type-Options", "nosniff");
  if (response.code == 401) MHD_add_response_header(reply, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
  if (response.code == 503) MHD_add_response_header(reply, MHD_HTTP_HEADER_RETRY_AFTER, "5");
  for (const auto& [name, value] : response.headers) MHD_add_response_header(reply, name.c_str(), value.c_str());
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(response.code), reply);
  MHD_destroy_response(reply);
  return queued;
}

MHD_Result AddArgument(void* cls, MHD_ValueKind, const char* key, const char* value) {
  (*static_cast<QueryArgs*>(cls))[key] = value ? value : "";
  return MHD_YES;
}

std::string SenderOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr) return "";
  char text[INET6_ADDRSTRLEN] = "";
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  }
  return text;
}

// What the header fields say about the request's framing and size.
struct Fields {
  size_t bytes = 0;               // the fields' lines, roughly
  const char* length = nullptr;   // the first Content-Length
  bool lengthsDiffer = false;
};

MHD_Result AddField(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto& fields = *static_cast<Fields*>(cls);
  value = value ? value : "";
  fields.bytes += std::strlen(key) + std::strlen(value) + 4;
  if (strcasecmp(key, MHD_HTTP_HEADER_CONTENT_LENGTH) != 0) return MHD_YES;
  if (!fields.length) fields.length = value;
  fields.lengthsDiffer |= std::strcmp(fields.length, value) != 0;
  return MHD_YES;
}

// Refusals that hold for any request, made before its route is looked at.
std::optional<Response> CheckFraming(MHD_Connection* connection) {
  Fields fields;
  MHD_get_connection_values(connection, MHD_HEADER_KIND, AddField, &fields);
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
  const size_t headerBytes = info ? info->header_size : 0;
  const std::string limit = std::to_string(kMaxHeaderBytes);
  if (headerBytes > kMaxHeaderBytes) {
    if (headerBytes - std::min(headerBytes, fields.bytes) > kMaxHeaderBytes) {
      return ErrorResponse(414, "the request line is longer than " + limit + " bytes");
    }
    return ErrorResponse(431, "the request line and headers are larger than " + limit + " bytes");
  }
  // A proxy in front could take one length and this server the other: what
  // one of them reads as a body, the other would read as the next request.
  if (fields.lengthsDiffer) return ErrorResponse(400, "the request has Content-Length headers that differ");
  return std::nullopt;
}

// Anything but an upload: its route and its caller.
std::optional<Response> OpenQuery(HttpServer& server, MHD_Connection* connection, std::string_view path,
                                  std::string_view verb, Exchange& exchange) {
  const std::string_view method = verb == MHD_HTTP_METHOD_HEAD ? MHD_HTTP_METHOD_GET : verb;
  exchange.route = FindRoute(method, path);
  if (!exchange.route) {
    return Routed(path) ? ErrorResponse(405, "that method is not answered here")
                        : ErrorResponse(404, "no such resource: " + std::string(path));
  }
  exchange.query = true;
  exchange.path = path;
  exchange.sender = SenderOf(connection);
  exchange.cookie = Header(connection, MHD_HTTP_HEADER_COOKIE);
  MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, AddArgument, &exchange.args);
  exchange.admission = server.access().Admit(*exchange.route, Header(connection, MHD_HTTP_HEADER_AUTHORIZATION),
                                             exchange.cookie, Target(path, exchange.args));
  if (exchange.admission.refusal) return std::move(exchange.admission.refusal);
  if (method == MHD_HTTP_METHOD_POST) {
    if (Watchdog::Clock* clock = ClockOf(connection)) server.watchdog()->AwaitBody(clock);
  } else {
    StopWatching(connection);  // a query may take a while
  }
  return std::nullopt;
}

Response AnswerQuery(HttpServer& server, Exchange& exchange) {
  const Route& route = *exchange.route;
  const int64_t now = NowMs();
  const std::string target = Target(exchange.path, exchange.args);
  Admission& admission = exchange.admission;
  if (!admission.sessionId.empty()) {
    if (auto refusal = server.access().Resume(server.store(), route, target, now, admission)) return *refusal;
  }
  return Answer(route, {server.store(), server.access(), exchange.path, {}, exchange.args, now,
                        static_cast<int64_t>(server.budget().Held()), admission.caller, exchange.form,
                        exchange.sender, exchange.cookie, admission.sessionId});
}

// The first call, once the headers are in: the answer when they already
// decide it.
std::optional<Response> Open(HttpServer& server, MHD_Connection* connection, std::string_view path,
                             std::string_view verb, Exchange& exchange) {
  // Asked to stop: what is under way is finished, nothing new is started.
  if (server.closing()) return ErrorResponse(503, "the collector is stopping; try again shortly");
  if (auto refusal = CheckFraming(connection)) return refusal;
  if (verb != MHD_HTTP_METHOD_POST || path != kUploadPath) return OpenQuery(server, connection, path, verb, exchange);
  exchange.upload = std::make_unique<Upload>(server.budget(), SenderOf(connection), server.config().maxBody);
  const UploadHeaders headers{Header(connection, MHD_HTTP_HEADER_AUTHORIZATION),
                              Header(connection, MHD_HTTP_HEADER_CONTENT_TYPE),
                              Header(connection, MHD_HTTP_HEADER_CONTENT_ENCODING),
                              Header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH)};
  if (auto refusal = exchange.upload->Admit(headers, server.tokens())) return refusal;
  if (Watchdog::Clock* clock = ClockOf(connection)) server.watchdog()->AwaitBody(clock);
  return std::nullopt;
}

void Work(MHD_Connection* connection, Exchange& exchange) {
  HttpServer& server = exchange.server;
  try {
    if (exchange.query) {
      exchange.answer = AnswerQuery(server, exchange);
    } else {
      exchange.answer = exchange.upload->Store(server.store());
      exchange.upload.reset();  // its memory is free before its sender learns the answer
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dromika-collector: a request failed: %s\n", e.what());
    exchange.failed = true;
  }
  MHD_resume_connection(connection);  // the handler is called again, and answers
}

// The last call, once the body is in: the answer if it is ready, else the
// work is handed to a worker and the connection waits, suspended.
MHD_Result Complete(MHD_Connection* connection, Exchange& exchange) {
  if (exchange.failed) return MHD_NO;
  if (exchange.answer) return Queue(connection, std::move(*exchange.answer), exchange.query);
  if (!exchange.query) {
    if (!exchange.upload) return MHD_NO;  // answered at its headers: not called again
    if (auto verdict = exchange.upload->Verdict()) {
      exchange.upload.reset();
      return Queue(connection, std::move(*verdict), false);
    }
  }
  StopWatching(connection);  // storing may take a while
  WorkQueue& queue = exchange.query ? exchange.server.answering() : exchange.server.storing();
  // Suspended first: the worker may be done before Post returns.
  MHD_suspend_connection(connection);
  try {
    queue.Post([connection, &exchange] { Work(connection, exchange); });
  } catch (...) {
    MHD_resume_connection(connection);
    throw;
  }
  return MHD_YES;
}

MHD_Result HandleRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                         const char* data, size_t* size, void** context) {
  auto& server = *static_cast<HttpServer*>(cls);
  if (*context == nullptr) {
    auto exchange = std::make_unique<Exchange>(server);
    auto early = Open(server, connection, url, method, *exchange);
    if (early) exchange->upload.reset();  // whatever body follows is dropped
    *context = exchange.release();        // OnCompleted's from here on
    return early ? Queue(connection, std::move(*early), true) : MHD_YES;
  }
  auto& exchange = *static_cast<Exchange*>(*context);
  if (*size == 0) return Complete(connection, exchange);
  const size_t piece = *size;
  *size = 0;
  if (!exchange.upload) {
    if (exchange.route && exchange.route->method == MHD_HTTP_METHOD_POST) {
      if (exchange.form.size() + piece > kMaxFormBytes) return MHD_NO;  // no form is that large
      exchange.form.append(data, piece);
    }
    return MHD_YES;  // any other query's body is read and dropped
  }
  exchange.upload->Take(std::string_view(data, piece));
  if (Watchdog::Clock* clock = ClockOf(connection)) clock->bytes = static_cast<int64_t>(exchange.upload->Received());
  return exchange.upload->DiscardedTooMuch() ? MHD_NO : MHD_YES;
}

// An exception must not cross into the C library: the connection is cut
// instead, and what is held for it is freed when it completes.
MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char* data, size_t* size, void** context) {
  try {
    return HandleRequest(cls, connection, url, method, data, size, context);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dromika-collector: a request failed: %s\n", e.what());
    return MHD_NO;
  }
}

void OnCompleted(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
  const std::unique_ptr<Exchange> owned(static_cast<Exchange*>(*context));  // taken back from OnRequest
  *context = nullptr;
  Watchdog* watchdog = static_cast<HttpServer*>(cls)->watchdog();
  if (Watchdog::Clock* clock = ClockOf(connection)) watchdog->Restart(clock);
}

void OnConnection(void* cls, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code) {
  auto& watchdog = *static_cast<Watchdog*>(cls);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    *socketContext = info ? watchdog.Watch(info->connect_fd) : nullptr;
  } else if (*socketContext) {
    watchdog.Forget(static_cast<Watchdog::Clock*>(*socketContext));
    *socketContext = nullptr;
  }
}

}  // namespace

HttpServer::HttpServer(Store& store, const Tokens& tokens) : store_(store), tokens_(tokens) {}

HttpServer::~HttpServer() { Stop(); }

Status HttpServer::Start(const ServerConfig& config) {
  config_ = config;
  access_ = std::make_unique<Access>(tokens_, !config_.certPem.empty());
  budget_ = std::make_unique<Budget>(4 * config_.maxBody);
  watchdog_ = std::make_unique<Watchdog>(std::min(config_.headerSeconds, config_.timeoutSeconds),
                                         config_.timeoutSeconds);
  storing_ = std::make_unique<WorkQueue>(kStoringThreads);
  answering_ = std::make_unique<WorkQueue>(kAnsweringThreads);
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
  if (config_.address.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
  const bool tls = !config_.certPem.empty() || !config_.keyPem.empty();
  if (tls) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) return Failure("this build cannot serve HTTPS");
    flags |= MHD_USE_TLS;
  }
  // One address may take a quarter of the connections, as of the memory.
  const unsigned perAddress = std::max(1u, config_.maxConnections / 4);
  MHD_OptionItem options[] = {
      {MHD_OPTION_SOCK_ADDR, 0, &config_.address},
      {MHD_OPTION_THREAD_POOL_SIZE, kPollingThreads, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, config_.timeoutSeconds, nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(config_.maxConnections), nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(perAddress), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(OnCompleted), this},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(OnConnection), watchdog_.get()},
      {tls ? MHD_OPTION_HTTPS_MEM_KEY : MHD_OPTION_END, 0, const_cast<char*>(config_.keyPem.c_str())},
      {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(config_.certPem.c_str())},
      {MHD_OPTION_END, 0, nullptr}};
  daemon_.reset(MHD_start_daemon(flags, 0, nullptr, nullptr, OnRequest, this, MHD_OPTION_ARRAY, options, MHD_OPTION_END));
  if (!daemon_) return Failure(tls ? "cannot listen (is the address free, and the certificate and key valid?)"
                                   : "cannot listen (is the address free?)");
  return {};
}

uint16_t HttpServer::Port() const {
  const MHD_DaemonInfo* info = daemon_ ? MHD_get_daemon_info(daemon_.get(), MHD_DAEMON_INFO_BIND_PORT) : nullptr;
  return info ? info->port : 0;
}

void DaemonStop::operator()(MHD_Daemon* daemon) const { MHD_stop_daemon(daemon); }

bool HttpServer::Stop(int64_t drainMs) {
  if (daemon_ && listenFd_ < 0) {
    // Shut down, not closed: a polling thread may still hold it. New
    // connections are then refused instead of waiting in the backlog.
    listenFd_ = MHD_quiesce_daemon(daemon_.get());
    if (listenFd_ >= 0) shutdown(listenFd_, SHUT_RDWR);
  }
  // From here new requests are turned away, so once none is under way no
  // connection is suspended, which stopping the daemon requires.
  closing_ = true;
  const int64_t start = MonotonicMs();
  while (underWay_ > 0) {
    if (MonotonicMs() - start >= drainMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  daemon_.reset();  // first: the daemon's threads use the watchdog
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
  storing_.reset();
  answering_.reset();
  watchdog_.reset();
  return true;
}

}  // namespace collector
