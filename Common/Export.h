#pragma once
// DROMIKA_EXPORT marks what the executable exports by name; the build defines
// it for the host (dllexport on Windows, default visibility on Linux).
#ifndef DROMIKA_EXPORT
#define DROMIKA_EXPORT
#endif
