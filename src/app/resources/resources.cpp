#include "app/resources/resources.h"

#include <algorithm>

#include "app/resources/resource_table.h"

namespace talvik {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return Upper(x) == Upper(y); });
}

}  // namespace

std::optional<Resource> FindResource(std::string_view name) {
  for (std::size_t i = 0; i < embedded::kTableSize; ++i) {
    const embedded::TableEntry& entry = embedded::kTable[i];
    if (SameName(entry.name, name)) return Resource{entry.data, *entry.size};
  }
  return std::nullopt;
}

}  // namespace talvik
