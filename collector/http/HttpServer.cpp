#include "collector/http/HttpServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>

#include "collector/base/Clock.h"
#include "collector/http/Api.h"
#include "collector/http/Routes.h"
#include "collector/base/Status.h"
#include "collector/base/Text.h"
#include "collector/base/WholeNumber.h"
#include "collector/document/Compression.h"
#include "collector/document/Ingest.h"
#include "collector/http/Watchdog.h"
#include "collector/pages/SitePages.h"

namespace collector {
namespace {

// Bytes read and dropped after a refusal before the connection is cut.
constexpr size_t kMaxDiscard = 16 * 1024 * 1024;
// Each connection's buffer for the request line and headers.
constexpr size_t kConnectionMemory = 64 * 1024;

// One POST being received.
struct Upload {
  explicit Upload(HttpServer& server) : server(server) {}
  ~Upload() { server.Release(held); }

  HttpServer& server;
  std::optional<Response> refusal;
  std::string body;
  std::unique_ptr<GzipDecoder> gzip;
  size_t wire = 0;
  size_t discarded = 0;
  size_t held = 0;  // of the server's memory budget
};

Response Busy() { return ErrorResponse(503, "too many documents are being received; try again shortly"); }

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

// From here on the request is answered, and sending a large answer to a
// slow reader is for the idle time-out to judge, not the watchdog.
MHD_Result Queue(MHD_Connection* connection, Response response) {
  if (Watchdog::Clock* clock = ClockOf(connection)) clock->answering = true;
  auto body = std::make_unique<std::string>(std::move(response.body));
  MHD_Response* reply =
      MHD_create_response_from_callback(body->size(), 64 * 1024, ReadBody, body.get(), FreeBody);
  if (!reply) return MHD_NO;
  body.release();  // FreeBody's from here on
  std::string type = response.contentType + "; charset=utf-8";
  MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
  // Pages may use only the collector's own script and style; nothing else it
  // sends (raw documents above all) may run anything, even opened directly.
  MHD_add_response_header(reply, "Content-Security-Policy",
                          response.contentType == "text/html" ? pages::kPagePolicy : "default-src 'none'; sandbox");
  MHD_add_response_header(reply, "X-Content-Type-Options", "nosniff");
  if (response.code == 401) MHD_add_response_header(reply, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
  if (response.code == 503) MHD_add_response_header(reply, MHD_HTTP_HEADER_RETRY_AFTER, "5");
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

// The checks made on the headers alone, before any of the body is read.
std::optional<Response> Admit(HttpServer& server, MHD_Connection* connection, Upload& upload) {
  if (server.tokens().Required() && !server.tokens().Accepts(Header(connection, MHD_HTTP_HEADER_AUTHORIZATION))) {
    return ErrorResponse(401, "a valid bearer token is required");
  }
  const std::string_view type = Header(connection, MHD_HTTP_HEADER_CONTENT_TYPE);
  if (!IsXmlContentType(type)) {
    return ErrorResponse(415, "documents are sent as application/xml, not " + std::string(type));
  }
  const std::string encoding = AsciiLower(Header(connection, MHD_HTTP_HEADER_CONTENT_ENCODING));
  if (encoding == "gzip" || encoding == "x-gzip") {
    upload.gzip = std::make_unique<GzipDecoder>(server.config().maxBody);
  } else if (!encoding.empty() && encoding != "identity") {
    return ErrorResponse(415, "unsupported content encoding: " + encoding);
  }
  const std::string_view length = Header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
  // The server has checked the header's form; a number past int64 is simply too large.
  const auto number = ParseWholeNumber(length);
  const uint64_t declared = length.empty() ? 0 : number && *number >= 0 ? static_cast<uint64_t>(*number) : UINT64_MAX;
  if (declared > server.config().maxBody) {
    return ErrorResponse(413, "the body is larger than " + std::to_string(server.config().maxBody) + " bytes");
  }
  if (!server.Hold(declared)) return Busy();
  upload.held = declared;
  if (!upload.gzip) upload.body.reserve(declared);
  return std::nullopt;
}

void Refuse(Upload& upload, Response response) {
  upload.refusal = std::move(response);
  std::string().swap(upload.body);
  upload.server.Release(upload.held);
  upload.held = 0;
}

void Take(HttpServer& server, Upload& upload, std::string_view piece) {
  upload.wire += piece.size();
  if (upload.refusal) {
    upload.discarded += piece.size();
    return;
  }
  const size_t limit = server.config().maxBody;
  if (upload.wire > limit) {
    return Refuse(upload, ErrorResponse(413, "the body is larger than " + std::to_string(limit) + " bytes"));
  }
  if (!upload.gzip) {
    upload.body.append(piece);
  } else {
    const Status s = upload.gzip->Feed(piece, upload.body);
    if (s.code() == StatusCode::kTooLarge) {
      return Refuse(upload, ErrorResponse(413, "the document is larger than " + std::to_string(limit) +
                                                   " bytes once decompressed"));
    }
    if (!s.ok()) return Refuse(upload, ErrorResponse(400, "the body is not a gzip stream: " + s.message()));
  }
  if (upload.body.size() > upload.held) {
    if (!server.Hold(upload.body.size() - upload.held)) return Refuse(upload, Busy());
    upload.held = upload.body.size();
  }
}

Response Finish(HttpServer& server, Upload& upload, const std::string& sender) {
  if (upload.refusal) return *upload.refusal;
  if (upload.gzip && !upload.gzip->Finished()) return ErrorResponse(400, "the gzip stream ends early");
  if (upload.body.empty()) return ErrorResponse(400, "the body is empty: a document is expected");
  IngestResult result;
  const Status stored = Ingest(server.store(), upload.body, sender, result);
  // The sender only learns that the store failed; the operator needs why.
  if (!stored.ok() && stored.code() != StatusCode::kInvalid) std::fprintf(stderr, "dromika-collector: storing a document from %s failed: %s\n",
                                 sender.c_str(), stored.message().c_str());
  return AnswerIngest(stored, result);
}

MHD_Result HandleRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                         const char* data, size_t* size, void** context) {
  auto& server = *static_cast<HttpServer*>(cls);
  const std::string_view path(url), verb(method);
  if (*context == nullptr) {
    if (verb == MHD_HTTP_METHOD_GET || verb == MHD_HTTP_METHOD_HEAD) {
      // What senders stored is theirs to read back: the same tokens guard it.
      if (NeedsToken(path) && server.tokens().Required() &&
          !server.tokens().Accepts(Header(connection, MHD_HTTP_HEADER_AUTHORIZATION))) {
        return Queue(connection, ErrorResponse(401, "a valid bearer token is required"));
      }
      if (Watchdog::Clock* clock = ClockOf(connection)) clock->answering = true;  // a query may take a while
      QueryArgs args;
      MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, AddArgument, &args);
      return Queue(connection, AnswerGet({server.store(), path, {}, args, NowMs(), static_cast<int64_t>(server.Held())}));
    }
    if (path != kUploadPath) return Queue(connection, ErrorResponse(404, "no such resource: " + std::string(path)));
    if (verb != MHD_HTTP_METHOD_POST) return Queue(connection, ErrorResponse(405, "use GET or POST"));
    auto upload = std::make_unique<Upload>(server);
    if (auto refusal = Admit(server, connection, *upload)) return Queue(connection, *refusal);
    *context = upload.release();
    return MHD_YES;
  }
  auto& upload = *static_cast<Upload*>(*context);
  if (*size > 0) {
    Take(server, upload, std::string_view(data, *size));
    if (Watchdog::Clock* clock = ClockOf(connection)) clock->bytes = static_cast<int64_t>(upload.wire);
    *size = 0;
    return upload.discarded > kMaxDiscard ? MHD_NO : MHD_YES;
  }
  if (Watchdog::Clock* clock = ClockOf(connection)) clock->answering = true;  // storing may take a while
  return Queue(connection, Finish(server, upload, SenderOf(connection)));
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

void OnCompleted(void*, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
  const std::unique_ptr<Upload> owned(static_cast<Upload*>(*context));  // taken back from OnRequest
  *context = nullptr;
  if (Watchdog::Clock* clock = ClockOf(connection)) Watchdog::Restart(clock);
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
  watchdog_ = std::make_unique<Watchdog>(config_.timeoutSeconds);
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL;
  if (config_.address.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
  const bool tls = !config_.certPem.empty() || !config_.keyPem.empty();
  if (tls) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) return Failure("this build cannot serve HTTPS");
    flags |= MHD_USE_TLS;
  }
  MHD_OptionItem options[] = {
      {MHD_OPTION_SOCK_ADDR, 0, &config_.address},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, config_.timeoutSeconds, nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(config_.maxConnections), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(OnCompleted), nullptr},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(OnConnection), watchdog_.get()},
      {tls ? MHD_OPTION_HTTPS_MEM_KEY : MHD_OPTION_END, 0, const_cast<char*>(config_.keyPem.c_str())},
      {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(config_.certPem.c_str())},
      {MHD_OPTION_END, 0, nullptr}};
  daemon_.reset(MHD_start_daemon(flags, 0, nullptr, nullptr, OnRequest, this, MHD_OPTION_ARRAY, options, MHD_OPTION_END));
  if (!daemon_) return Failure(tls ? "cannot listen (is the address free, and the certificate and key valid?)"
                                   : "cannot listen (is the address free?)");
  return {};
}

bool HttpServer::Hold(size_t bytes) {
  const size_t budget = 4 * config_.maxBody;
  size_t held = held_.load();
  do {
    if (bytes > budget - std::min(held, budget)) return false;
  } while (!held_.compare_exchange_weak(held, held + bytes));
  return true;
}

uint16_t HttpServer::Port() const {
  const MHD_DaemonInfo* info = daemon_ ? MHD_get_daemon_info(daemon_.get(), MHD_DAEMON_INFO_BIND_PORT) : nullptr;
  return info ? info->port : 0;
}

void DaemonStop::operator()(MHD_Daemon* daemon) const { MHD_stop_daemon(daemon); }

void HttpServer::Stop() {
  daemon_.reset();  // first: the daemon's threads use the watchdog
  watchdog_.reset();
}

}  // namespace collector
