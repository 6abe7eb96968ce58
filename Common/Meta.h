// Two empty marker types that other modules use in their type lists; their
// assignment operators are exported for them.
#pragma once
#include "Common/Export.h"

namespace meta {

struct MetaIsDefaultNever {
  DROMIKA_EXPORT MetaIsDefaultNever& operator=(const MetaIsDefaultNever& other);
};

struct MetaIsMissingValueNotSupported {
  DROMIKA_EXPORT MetaIsMissingValueNotSupported& operator=(const MetaIsMissingValueNotSupported& other);
};

}  // namespace meta
