#include "collector/http/HttpServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "runtime/Gzip.h"

#include "collector/base/Clock.h"
#include "collector/base/Log.h"
#include "collector/http/Api.h"
#include "collector/http/Metrics.h"
#include "collector/http/TlsCredentials.h"
#include "collector/http/Routes.h"
#include "collector/http/Watchdog.h"
#include "collector/http/WorkQueue.h"
#include "collector/pages/SitePages.h"

namespace collector {
namespace {

// The request line and headers the collector takes. The server's own
// memory for them is larger, so that a request somewhat over is still
// handed over and refused here, with the headers every answer carries. A
// connection kept open after an answer keeps all of that memory; past
// 32 KiB the library maps it from the system for each connection, which
// cost more than a quarter of the CPU of storing a document.
constexpr size_t kMaxHeaderBytes = 16 * 1024;
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
// Answers smaller than this are sent as they are: gzip would save little.
constexpr size_t kMinGzipBytes = 512;

// One request, from its headers to its answer.
struct Exchange {
  explicit Exchange(HttpServer& server) : server(server) { ++server.underWay(); }
  ~Exchange() { --server.underWay(); }

  HttpServer& server;
  const int64_t startMs = MonotonicMs();
  std::string method;
  bool gzip = false;               // the client accepts gzip
  // What the log and the metrics say of it once it ends.
  int code = 0;                    // the status answered; 0 while none is
  std::string cause, reason;
  uint64_t bytesIn = 0, bytesOut = 0;
  bool query = false;              // anything routed, not an upload
  bool uploading = false;          // a POST of a document
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
// after it; after any other the connection is kept for the next request,
// unless the collector is stopping.
MHD_Result Queue(MHD_Connection* connection, Exchange& exchange, Response response, bool close) {
  StopWatching(connection);
  exchange.code = response.code;
  exchange.cause = std::move(response.cause);
  exchange.reason = std::move(response.reason);
  exchange.bytesOut = response.body.size();
  close |= exchange.server.closing();
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

// Whether an Accept-Encoding header takes gzip: named, and not with q=0.
bool AcceptsGzip(std::string_view header) {
  while (!header.empty()) {
    const size_t end = std::min(header.find(','), header.size());
    std::string_view coding = header.substr(0, end);
    header.remove_prefix(std::min(end + 1, header.size()));
    const size_t semicolon = std::min(coding.find(';'), coding.size());
    std::string_view name = coding.substr(0, semicolon), parameters = coding.substr(semicolon);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name.size() != 4 || strncasecmp(name.data(), "gzip", 4) != 0) continue;
    std::string weight(parameters);
    weight.erase(std::remove(weight.begin(), weight.end(), ' '), weight.end());
    const size_t q = weight.find("q=");
    return q == std::string::npos || std::strtod(weight.c_str() + q + 2, nullptr) > 0;
  }
  return false;
}

// Pages, JSON and the other texts the collector makes go out compressed
// when the client takes gzip; a document's raw bytes are served as stored.
void OfferGzip(Response& response, bool accepted) {
  static constexpr std::string_view kTexts[] = {"text/html", "application/json", "text/csv", "text/css",
                                                "text/javascript", "text/plain"};
  if (std::find(std::begin(kTexts), std::end(kTexts), response.contentType) == std::end(kTexts)) return;
  response.headers.emplace_back("Vary", "Accept-Encoding");
  std::string packed;
  if (!accepted || response.body.size() < kMinGzipBytes) return;
  if (!codec::Compress(response.body, codec::Framing::kGzip, 6, packed)) return;
  response.body.swap(packed);
  response.headers.emplace_back("Content-Encoding", "gzip");
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
  exchange.uploading = true;
  exchange.upload = std::make_unique<Upload>(server.budget(), exchange.sender, server.config().maxBody);
  const UploadHeaders headers{Header(connection, MHD_HTTP_HEADER_AUTHORIZATION),
                              Header(connection, MHD_HTTP_HEADER_CONTENT_TYPE),
                              Header(connection, MHD_HTTP_HEADER_CONTENT_ENCODING),
                              Header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH)};
  if (auto refusal = exchange.upload->Admit(headers, server.tokens())) return refusal;
  exchange.admission.caller.name = exchange.upload->CallerName();
  if (Watchdog::Clock* clock = ClockOf(connection)) server.watchdog()->AwaitBody(clock);
  return std::nullopt;
}

void Work(MHD_Connection* connection, Exchange& exchange) {
  HttpServer& server = exchange.server;
  try {
    if (exchange.query) {
      exchange.answer = AnswerQuery(server, exchange);
      OfferGzip(*exchange.answer, exchange.gzip);
    } else {
      exchange.answer = exchange.upload->Store(server.store());
      exchange.upload.reset();  // its memory is free before its sender learns the answer
    }
  } catch (const std::exception& e) {
    exchange.reason = std::string("the request failed: ") + e.what();
    exchange.failed = true;
  }
  MHD_resume_connection(connection);  // the handler is called again, and answers
}

// The last call, once the body is in: the answer if it is ready, else the
// work is handed to a worker and the connection waits, suspended.
MHD_Result Complete(MHD_Connection* connection, Exchange& exchange) {
  if (exchange.failed) return MHD_NO;
  if (exchange.answer) return Queue(connection, exchange, std::move(*exchange.answer), false);
  if (!exchange.query) {
    if (!exchange.upload) return MHD_NO;  // answered at its headers: not called again
    if (auto verdict = exchange.upload->Verdict()) {
      exchange.upload.reset();
      return Queue(connection, exchange, std::move(*verdict), false);
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
    auto owned = std::make_unique<Exchange>(server);
    Exchange& exchange = *owned;
    *context = owned.release();  // OnCompleted's from here on
    exchange.method = method;
    exchange.path = url;
    exchange.sender = SenderOf(connection);
    exchange.gzip = AcceptsGzip(Header(connection, MHD_HTTP_HEADER_ACCEPT_ENCODING));
    auto early = Open(server, connection, url, method, exchange);
    if (!early) return MHD_YES;
    exchange.upload.reset();
    // Answered now, the server drops whatever body follows and the
    // connection with it; a request without a body is answered at its end
    // instead, so that its connection serves the next one.
    const std::string_view length = Header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (Header(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING).empty() && (length.empty() || length == "0")) {
      exchange.answer = std::move(early);
      return MHD_YES;
    }
    return Queue(connection, exchange, std::move(*early), true);
  }
  auto& exchange = *static_cast<Exchange*>(*context);
  if (*size == 0) return Complete(connection, exchange);
  const size_t piece = *size;
  *size = 0;
  exchange.bytesIn += piece;
  TheMetrics().Received(piece);
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
    if (*context) static_cast<Exchange*>(*context)->reason = std::string("the request failed: ") + e.what();
    return MHD_NO;
  }
}

// The route's pattern, as the metrics label requests: never the path itself,
// whose open parts would make a label per document or machine.
std::string RouteLabel(const Route* route) {
  if (!route || route->prefix.empty()) return "other";
  return std::string(route->prefix) + (route->open ? "{}" : "") + std::string(route->suffix);
}

// Any word can stand where a method does; the metrics keep one label for
// every method no route answers, so a client cannot make labels without end.
std::string_view MethodLabel(std::string_view method) {
  static constexpr std::string_view kKnown[] = {"GET", "HEAD", "POST", "DELETE", "PUT", "PATCH", "OPTIONS"};
  return std::find(std::begin(kKnown), std::end(kKnown), method) != std::end(kKnown) ? method : "other";
}

bool WordByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// A reason may quote what a query said; the log shows none of its values.
// A value of a character or two is hidden only where it stands alone, so
// that "limit=1" does not blank every 1 in "1 to 1000".
std::string WithoutValues(std::string reason, const QueryArgs& args) {
  for (const auto& [name, value] : args) {
    if (value.empty()) continue;
    for (size_t at = reason.find(value); at != std::string::npos; at = reason.find(value, at)) {
      const size_t end = at + value.size();
      const bool inWord = (at > 0 && WordByte(reason[at - 1])) || (end < reason.size() && WordByte(reason[end]));
      if (value.size() < 3 && inWord) {
        ++at;
        continue;
      }
      reason.replace(at, value.size(), "***");
      at += 3;
    }
  }
  return reason;
}

// Why a request ended without its answer sent whole.
const char* CutShort(MHD_RequestTerminationCode why) {
  switch (why) {
    case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED: return "the connection was idle too long";
    case MHD_REQUEST_TERMINATED_CLIENT_ABORT: return "the client closed the connection";
    case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN: return "the collector stopped";
    default: return "the connection was cut (a sender too slow, a body past its bound, or a failure)";
  }
}

// The one log line and the counts of a request, once it has ended.
void Record(const Exchange& exchange, MHD_RequestTerminationCode why) {
  const bool whole = why == MHD_REQUEST_TERMINATED_COMPLETED_OK;
  const std::string route = exchange.uploading ? std::string(kUploadPath) : RouteLabel(exchange.route);
  Metrics& metrics = TheMetrics();
  const int64_t ms = MonotonicMs() - exchange.startMs;
  metrics.Request(route, MethodLabel(exchange.method), whole ? exchange.code : 0, ms);
  LogLine line("request");
  line.Text("client", exchange.sender).Text("method", exchange.method).Text("path", exchange.path);
  line.Number("status", whole ? exchange.code : 0);
  line.Number("bytes_in", static_cast<int64_t>(exchange.bytesIn));
  line.Number("bytes_out", static_cast<int64_t>(exchange.bytesOut));
  line.Number("ms", ms);
  if (!exchange.admission.caller.name.empty()) line.Text("token", exchange.admission.caller.name);
  std::string cause = exchange.cause, reason = exchange.reason;
  if (!whole) {
    cause = exchange.code ? "answer_cut" : "cut";
    reason = (exchange.reason.empty() ? "" : exchange.reason + "; ") + CutShort(why);
  }
  if (!cause.empty()) {
    metrics.Refusal(cause);
    line.Text("refused", cause).Text("reason", WithoutValues(reason, exchange.args));
  }
  line.Write();
}

void OnCompleted(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode why) {
  const std::unique_ptr<Exchange> owned(static_cast<Exchange*>(*context));  // taken back from OnRequest
  *context = nullptr;
  if (owned) Record(*owned, why);
  Watchdog* watchdog = static_cast<HttpServer*>(cls)->watchdog();
  if (Watchdog::Clock* clock = ClockOf(connection)) watchdog->Restart(clock);
}

void OnConnection(void* cls, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code) {
  auto& watchdog = *static_cast<Watchdog*>(cls);
  TheMetrics().Connection(code == MHD_CONNECTION_NOTIFY_STARTED ? 1 : -1);
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
  access_ = std::make_unique<Access>(tokens_, !config_.certPem.empty(), config_.openMetrics);
  budget_ = std::make_unique<Budget>(4 * config_.maxBody);
  watchdog_ = std::make_unique<Watchdog>(std::min(config_.headerSeconds, config_.timeoutSeconds),
                                         config_.timeoutSeconds);
  storing_ = std::make_unique<WorkQueue>(kStoringThreads);
  answering_ = std::make_unique<WorkQueue>(kAnsweringThreads);
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
  if (config_.address.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
  const bool tls = !config_.certPem.empty() || !config_.keyPem.empty();
  if (tls) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES ||
        MHD_is_feature_supported(MHD_FEATURE_HTTPS_CERT_CALLBACK) != MHD_YES) {
      return Failure("this build cannot serve HTTPS");
    }
    std::shared_ptr<TlsCredentials> credentials;
    if (auto s = TlsCredentials::Make(config_.certPem, config_.keyPem, credentials); !s.ok()) return s;
    TlsCredentials::Present(std::move(credentials));
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
      // Asked at each handshake, so that a reload reaches new connections.
      {tls ? MHD_OPTION_HTTPS_CERT_CALLBACK : MHD_OPTION_END, 0, TlsCredentials::Callback()},
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
