// The collector speaks UTF-8 throughout; these turn its messages into
// qtl::status values and back.
#pragma once
#include <string>

#include "runtime/Status.h"
#include "runtime/Str.h"

namespace collector {

inline qtl::status Failure(const std::string& utf8) { return qtl::status::error(str::as_wstring(utf8)); }
inline std::string MessageOf(const qtl::status& status) { return str::as_u8string(status.text()); }

}  // namespace collector
