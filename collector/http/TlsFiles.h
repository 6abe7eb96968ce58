// The certificate and key that `serve --tls-cert --tls-key` names, checked
// before anything listens: a file that does not load must stop the start,
// never fall back to plain HTTP.
#pragma once
#include <string>

#include "collector/base/Status.h"

namespace collector {

// Reads both files as PEM and checks that the key belongs to the
// certificate; fails saying which file and why.
Status LoadTlsFiles(const std::string& certPath, const std::string& keyPath, std::string& certPem,
                    std::string& keyPem);

}  // namespace collector
