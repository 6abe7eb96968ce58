#include "report/RegistryViews.h"

#include <algorithm>

namespace dromika {
namespace {

using platform::RegistryView;

bool SameName(const std::wstring& a, const std::wstring& b) {
  auto fold = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](wchar_t x, wchar_t y) {
           return fold(x) == fold(y);
         });
}

}  // namespace

const RegistryViews& OwnView() {
  static const RegistryViews views{RegistryView::kDefault};
  return views;
}

const RegistryViews& BothViews() {
  static const RegistryViews views{RegistryView::k64Bit, RegistryView::k32Bit};
  return views;
}

std::vector<ViewedName> MergedSubkeys(platform::Registry& registry, platform::RegistryRoot root,
                                      const std::wstring& path, const RegistryViews& views) {
  std::vector<ViewedName> merged;
  for (const RegistryView view : views) {
    const auto names = registry.EnumSubkeys(root, path, view);
    if (!names) continue;
    for (const auto& name : *names) {
      auto same = std::find_if(merged.begin(), merged.end(), [&](const ViewedName& n) { return SameName(n.name, name); });
      if (same == merged.end()) {
        merged.push_back({name, {view}});
      } else if (same->views.back() != view) {
        same->views.push_back(view);
      }
    }
  }
  return merged;
}

std::vector<platform::RegistryValue> MergedValues(platform::Registry& registry, platform::RegistryRoot root,
                                                  const std::wstring& path, const RegistryViews& views) {
  std::vector<platform::RegistryValue> merged;
  for (size_t i = 0; i < views.size(); ++i) {
    auto values = registry.EnumValues(root, path, views[i]);
    if (!values) continue;
    for (auto& value : *values) {
      const bool seen = i > 0 && std::any_of(merged.begin(), merged.end(), [&](const platform::RegistryValue& v) {
                          return SameName(v.name, value.name);
                        });
      if (!seen) merged.push_back(std::move(value));
    }
  }
  return merged;
}

}  // namespace dromika
