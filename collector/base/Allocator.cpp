#include "collector/base/Allocator.h"

#include <cstdlib>  // defines __GLIBC__ on glibc
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace collector {

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 16 << 20);
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
#endif
}

}  // namespace collector
