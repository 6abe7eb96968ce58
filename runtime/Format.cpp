#include "runtime/Format.h"

namespace str::fmt {

void ThrowFormatError(const char* what) { ThrowStatus(QrnError::syntax(what), "runtime\\Format", 0); }

}  // namespace str::fmt
