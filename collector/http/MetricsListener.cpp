#include "collector/http/MetricsListener.h"

#include <microhttpd.h>

#include <cstring>
#include <string>

#include "collector/http/Metrics.h"
#include "collector/http/Routes.h"

namespace collector {
namespace {

// A scraper or two: a few connections, answered quickly or dropped.
constexpr unsigned kConnections = 16;
constexpr unsigned kTimeoutSeconds = 10;

MHD_Result Answer(MHD_Connection* connection, unsigned code, std::string text) {
  MHD_Response* reply = MHD_create_response_from_buffer(text.size(), text.data(), MHD_RESPMEM_MUST_COPY);
  if (!reply) return MHD_NO;
  MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
  MHD_add_response_header(reply, "X-Content-Type-Options", "nosniff");
  const MHD_Result queued = MHD_queue_response(connection, code, reply);
  MHD_destroy_response(reply);
  return queued;
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char*, size_t* size, void** context) {
  if (*context == nullptr) {  // the headers: wait for the end of any body
    *context = connection;
    return MHD_YES;
  }
  if (*size != 0) {
    *size = 0;  // a body is read and dropped
    return MHD_YES;
  }
  const auto& receivingBytes = *static_cast<std::function<int64_t()>*>(cls);
  const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 || std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
  if (!get || url != kMetricsPath)
    return Answer(connection, MHD_HTTP_NOT_FOUND, "only GET /metrics is answered here\n");
  try {
    return Answer(connection, MHD_HTTP_OK, TheMetrics().Text(receivingBytes()));
  } catch (const std::exception&) {
    return MHD_NO;
  }
}

}  // namespace

Status MetricsListener::Start(const sockaddr_storage& address) {
  address_ = address;
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO;
  if (address_.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
  daemon_.reset(MHD_start_daemon(flags, 0, nullptr, nullptr, OnRequest, &receivingBytes_, MHD_OPTION_SOCK_ADDR,
                                 &address_, MHD_OPTION_CONNECTION_LIMIT, kConnections, MHD_OPTION_CONNECTION_TIMEOUT,
                                 kTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t{16 * 1024},
                                 MHD_OPTION_END));
  if (!daemon_) return Failure("cannot listen for metrics (is the address free?)");
  return {};
}

uint16_t MetricsListener::Port() const {
  const MHD_DaemonInfo* info = daemon_ ? MHD_get_daemon_info(daemon_.get(), MHD_DAEMON_INFO_BIND_PORT) : nullptr;
  return info ? info->port : 0;
}

}  // namespace collector
