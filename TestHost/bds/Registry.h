// Reading the IDE root's keys under HKEY_CURRENT_USER.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace QmHost {

// Name and string data of every value of <root>\<subKey>, in the order the
// registry enumerates them (Wine: sorted by name). Empty if the key is absent.
std::vector<std::pair<std::wstring, std::wstring>> ReadStringValues(const std::wstring& root,
                                                                    const std::wstring& subKey);

// True if <root>\<subKey> has a value of that name (names ignore case).
bool HasValue(const std::wstring& root, const std::wstring& subKey, const std::wstring& name);

} // namespace QmHost
