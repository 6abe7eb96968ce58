#include "collector/http/TlsFiles.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace collector {
namespace {

constexpr off_t kMaxPemBytes = 1 << 20;

Status ReadPem(const std::string& path, const char* what, std::string& pem) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return Invalid(std::string(what) + " " + path + ": cannot be read");
  if (!S_ISREG(info.st_mode)) return Invalid(std::string(what) + " " + path + ": not a file");
  if (info.st_size == 0) return Invalid(std::string(what) + " " + path + ": empty");
  if (info.st_size > kMaxPemBytes) return Invalid(std::string(what) + " " + path + ": larger than 1 MiB");
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  if (!in) return Invalid(std::string(what) + " " + path + ": cannot be read");
  pem = std::move(all).str();
  return {};
}

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
  void operator()(X509* x509) const { X509_free(x509); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

std::unique_ptr<BIO, BioFree> Bio(const std::string& pem) {
  return std::unique_ptr<BIO, BioFree>(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
}

}  // namespace

Status LoadTlsFiles(const std::string& certPath, const std::string& keyPath, std::string& certPem,
                    std::string& keyPem) {
  if (auto s = ReadPem(certPath, "--tls-cert", certPem); !s.ok()) return s;
  if (auto s = ReadPem(keyPath, "--tls-key", keyPem); !s.ok()) return s;
  const std::unique_ptr<X509, X509Free> cert(PEM_read_bio_X509(Bio(certPem).get(), nullptr, nullptr, nullptr));
  if (!cert) return Invalid("--tls-cert " + certPath + ": not a PEM certificate");
  const std::unique_ptr<EVP_PKEY, KeyFree> key(
      PEM_read_bio_PrivateKey(Bio(keyPem).get(), nullptr, nullptr, nullptr));
  if (!key) return Invalid("--tls-key " + keyPath + ": not an unencrypted PEM private key");
  if (X509_check_private_key(cert.get(), key.get()) != 1) {
    return Invalid("--tls-key " + keyPath + ": does not belong to the certificate in " + certPath);
  }
  return {};
}

}  // namespace collector
