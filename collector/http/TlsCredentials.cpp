#include "collector/http/TlsCredentials.h"

#include <gnutls/abstract.h>
#include <gnutls/gnutls.h>

#include <mutex>
#include <vector>

namespace collector {

struct TlsCredentials::Parts {
  gnutls_pcert_st chain[16];
  unsigned length = 0;
  gnutls_privkey_t key = nullptr;
};

namespace {

std::mutex presenting;
TlsCredentials::Parts* current = nullptr;
// Every pair ever presented stays alive: a handshake that began with one
// may still be using it after a reload. A reload adds a few kilobytes.
std::vector<std::shared_ptr<TlsCredentials>>* presented = new std::vector<std::shared_ptr<TlsCredentials>>;

gnutls_datum_t Datum(const std::string& pem) {
  return {reinterpret_cast<unsigned char*>(const_cast<char*>(pem.data())), static_cast<unsigned>(pem.size())};
}

}  // namespace

TlsCredentials::TlsCredentials(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

TlsCredentials::~TlsCredentials() {
  for (unsigned i = 0; i < parts_->length; ++i) gnutls_pcert_deinit(&parts_->chain[i]);
  if (parts_->key) gnutls_privkey_deinit(parts_->key);
}

Status TlsCredentials::Make(const std::string& certPem, const std::string& keyPem,
                            std::shared_ptr<TlsCredentials>& made) {
  auto parts = std::make_unique<Parts>();
  const gnutls_datum_t cert = Datum(certPem), key = Datum(keyPem);
  parts->length = sizeof parts->chain / sizeof parts->chain[0];
  if (gnutls_pcert_list_import_x509_raw(parts->chain, &parts->length, &cert, GNUTLS_X509_FMT_PEM, 0) < 0) {
    return Invalid("the TLS library cannot take the certificate chain (at most 16 certificates)");
  }
  TlsCredentials* owner = new TlsCredentials(std::move(parts));
  made.reset(owner);  // frees what was imported on any failure below
  if (gnutls_privkey_init(&owner->parts_->key) < 0 ||
      gnutls_privkey_import_x509_raw(owner->parts_->key, &key, GNUTLS_X509_FMT_PEM, nullptr, 0) < 0) {
    made.reset();
    return Invalid("the TLS library cannot take the private key");
  }
  return {};
}

void TlsCredentials::Present(std::shared_ptr<TlsCredentials> credentials) {
  const std::lock_guard<std::mutex> lock(presenting);
  current = credentials->parts_.get();
  presented->push_back(std::move(credentials));
}

namespace {

int Retrieve(gnutls_session_t, const gnutls_datum_t*, int, const gnutls_pk_algorithm_t*, int, gnutls_pcert_st** chain,
             unsigned* length, gnutls_privkey_t* key) {
  const std::lock_guard<std::mutex> lock(presenting);
  if (!current) return -1;
  *chain = current->chain;
  *length = current->length;
  *key = current->key;
  return 0;
}

}  // namespace

void* TlsCredentials::Callback() { return reinterpret_cast<void*>(&Retrieve); }

}  // namespace collector
