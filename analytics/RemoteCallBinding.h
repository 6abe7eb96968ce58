// The analytics service's operations bound to the call names clients use.
#pragma once
#include "analytics/IAnalyticsService.h"
#include "runtime/RemoteCallRegistry.h"

namespace sys::server {

// The registry that binds the eleven call names to `service`, which must
// outlive every copy of it that can still be called.
RemoteCallRegistry MakeRemoteCallRegistry(qrn::analytics::IAnalyticsService& service);

}  // namespace sys::server
