// Reading a key in several registry views as one: on a 64-bit Windows, 32-bit
// installers write HKLM\Software into the 32-bit view, which a 64-bit program
// does not see unless it asks for it.
#pragma once
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace dromika {

using RegistryViews = std::vector<platform::RegistryView>;

// The program's own view alone, and the machine's software keys: the 64-bit
// view first, then the 32-bit one.
const RegistryViews& OwnView();
const RegistryViews& BothViews();

struct ViewedName {
  std::wstring name;
  RegistryViews views;  // the views that hold it, in the order asked
};

// The subkeys of path in each view, in enumeration order, the first view's
// first. A name found in several views (compared without regard to ASCII
// case, as the registry does) comes once, where the first view holding it
// put it; its copy in that view is the one that counts.
std::vector<ViewedName> MergedSubkeys(platform::Registry& registry, platform::RegistryRoot root,
                                      const std::wstring& path, const RegistryViews& views);

// The values of path merged the same way: a value name found in several
// views comes once, with the data of the first view holding it. Empty when
// no view opens the key.
std::vector<platform::RegistryValue> MergedValues(platform::Registry& registry, platform::RegistryRoot root,
                                                  const std::wstring& path, const RegistryViews& views);

}  // namespace dromika
