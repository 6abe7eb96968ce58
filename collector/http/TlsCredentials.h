// The certificate and key HTTPS presents, replaceable while the collector
// serves (SIGHUP): each handshake takes the pair current when it starts, and
// connections already open keep theirs.
#pragma once
#include <memory>
#include <string>

#include "collector/base/Status.h"

namespace collector {

class TlsCredentials {
 public:
  // From PEM texts that LoadTlsFiles has checked; fails when the TLS library
  // cannot take them.
  static Status Make(const std::string& certPem, const std::string& keyPem, std::shared_ptr<TlsCredentials>& made);
  ~TlsCredentials();
  TlsCredentials(const TlsCredentials&) = delete;
  TlsCredentials& operator=(const TlsCredentials&) = delete;

  // Makes `credentials` the pair every later handshake in this process gets.
  static void Present(std::shared_ptr<TlsCredentials> credentials);
  // The handshake callback the HTTP server is given
  // (MHD_OPTION_HTTPS_CERT_CALLBACK's gnutls_certificate_retrieve_function2).
  static void* Callback();

  struct Parts;  // the TLS library's objects

 private:
  explicit TlsCredentials(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

}  // namespace collector
