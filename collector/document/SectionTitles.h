// The headings people use for the parts of a report: a block, a class of
// management rows, or one of the system block's elements.
#pragma once
#include <string_view>

namespace collector {

// "Operating system" for Win32_OperatingSystem, "Environment" for
// environment, and so on; the element's own name for one not known.
std::string_view SectionTitle(std::string_view element);

}  // namespace collector
