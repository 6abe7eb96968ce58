#include "Common/Meta.h"

namespace meta {

// Nothing to copy: both return their own object.
MetaIsDefaultNever& MetaIsDefaultNever::operator=(const MetaIsDefaultNever&) { return *this; }

MetaIsMissingValueNotSupported& MetaIsMissingValueNotSupported::operator=(const MetaIsMissingValueNotSupported&) {
  return *this;
}

}  // namespace meta
