#include "SearchedSites.h"

#include <cstdint>
#include <cstring>

namespace QmHost {

namespace {

// The linker sorts the pieces of section .qmsites by the name after "$":
// these two bracket the records SEARCHED_ROUTINE puts in ".qmsites$b".
__attribute__((section(".qmsites$a"), used)) const SearchedSite FirstMarker = {};
__attribute__((section(".qmsites$z"), used)) const SearchedSite LastMarker = {};

} // namespace

const SearchedSite* SearchedSites(int* count) {
  const auto first = reinterpret_cast<std::uintptr_t>(&FirstMarker);
  const auto last = reinterpret_cast<std::uintptr_t>(&LastMarker);
  *count = static_cast<int>((last - first) / sizeof(SearchedSite)) - 1;
  return reinterpret_cast<const SearchedSite*>(first + sizeof(SearchedSite));
}

const SearchedSite* FindSearchedSite(const char* name) {
  int count = 0;
  const SearchedSite* sites = SearchedSites(&count);
  for (int i = 0; i < count; ++i)
    if (std::strcmp(sites[i].Name, name) == 0) return &sites[i];
  return nullptr;
}

} // namespace QmHost
