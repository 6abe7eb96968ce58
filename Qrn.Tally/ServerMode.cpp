#include <memory>

#include "Common/CommandLineUtils.h"
#include "Qrn.Tally/Modes.h"
#include "analytics/AnalyticsService.h"
#include "analytics/RemoteCallBinding.h"
#include "runtime/PipeClient.h"
#include "runtime/RemoteCallWorker.h"
#include "runtime/SourceStamps.h"
#include "runtime/Status.h"

namespace {

constexpr uint32_t kReadBufferBytes = 1024;
constexpr uint32_t kConnectAttempts = 1;
constexpr uint32_t kInfinite = 0xFFFFFFFF;

std::shared_ptr<sys::message::IReaderWriterConnection> Connect(const std::wstring& pipeName) {
  const sys::message::pipe::ClientSettings settings{pipeName, kReadBufferBytes, kConnectAttempts};
  return sys::message::MakeNamedPipeClientDuplex(settings);
}

qtl::status StatusOf(const std::shared_ptr<sys::message::IReaderWriterConnection>& connection) {
  return connection ? connection->GetStatus() : qtl::status::error(L"No connection to the client");
}

// Serves until the client closes the connection; the service outlives the
// worker because the registered calls reach it by pointer.
void Serve(const std::shared_ptr<sys::message::IReaderWriterConnection>& connection) {
  qrn::analytics::impl::AnalyticsService service;
  std::shared_ptr<sys::message::IReader> reader = connection;
  std::shared_ptr<sys::message::IWriter> writer = connection;
  auto registry = std::make_unique<sys::server::RemoteCallRegistry>(sys::server::MakeRemoteCallRegistry(service));
  sys::thread::Worker::Handle worker = sys::server::MakeRemoteCallWorker(*registry, reader, writer);
  registry.reset();  // the worker keeps its own copy
  reader.reset();
  writer.reset();
  qtl::status joined = sys::thread::Worker::Join(worker, kInfinite);
  if (!joined.ok()) ThrowStatus(joined, nullptr, 0);
}

}  // namespace

int RunServerMode(const CommandLine& commandLine) {
  try {
    std::shared_ptr<sys::message::IReaderWriterConnection> connection = Connect(commandLine.pipeName);
    qtl::status status = StatusOf(connection);
    if (!status.ok()) ThrowStatus(status, stamps::kNoConnection.file, stamps::kNoConnection.line);
    Serve(connection);
  } catch (const qtl::status_exception& e) {
    cmd::WriteErrorLine(e.get_status().text());
    return 1;
  }
  return 0;
}
