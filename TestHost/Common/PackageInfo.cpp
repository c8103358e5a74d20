#include "PackageInfo.h"

#include <cstring>

namespace QmHost {

namespace {

class Reader {
public:
  Reader(const unsigned char* data, size_t size) : at_(data), end_(data + size) {}

  bool U32(std::uint32_t& value) {
    if (static_cast<size_t>(end_ - at_) < 4) return false;
    std::memcpy(&value, at_, 4);
    at_ += 4;
    return true;
  }

  bool Name(std::string& name) {
    const void* zero = std::memchr(at_, 0, static_cast<size_t>(end_ - at_));
    if (!zero) return false;
    const unsigned char* stop = static_cast<const unsigned char*>(zero);
    size_t length = static_cast<size_t>(stop - at_);
    if (length == 0 || length > 255) return false;
    name.assign(reinterpret_cast<const char*>(at_), length);
    at_ = stop + 1;
    return true;
  }

  bool AtEnd() const { return at_ == end_; }
  size_t Left() const { return static_cast<size_t>(end_ - at_); }

private:
  const unsigned char* at_;
  const unsigned char* end_;
};

bool ReadNames(Reader& r, std::vector<std::string>& names, const wchar_t* what, std::wstring& error) {
  std::uint32_t count = 0;
  if (!r.U32(count)) {
    error = std::wstring(L"PACKAGEINFO truncated before the ") + what + L" count";
    return false;
  }
  // Each name takes at least two bytes: a bound before reserving anything.
  if (count > r.Left() / 2) {
    error = std::wstring(L"PACKAGEINFO ") + what + L" count too large";
    return false;
  }
  names.resize(count);
  for (auto& name : names) {
    if (!r.Name(name)) {
      error = std::wstring(L"PACKAGEINFO has a bad ") + what + L" name";
      return false;
    }
  }
  return true;
}

} // namespace

bool SameUnitName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

bool ParsePackageInfo(const void* data, size_t size, PackageInfo& info, std::wstring& error) {
  info = PackageInfo{};
  Reader r(static_cast<const unsigned char*>(data), size);
  if (!r.U32(info.flags)) {
    error = L"PACKAGEINFO truncated before the flags";
    return false;
  }
  if (!ReadNames(r, info.requiredPackages, L"required package", error)) return false;
  if (!ReadNames(r, info.units, L"unit", error)) return false;
  if (!r.AtEnd()) {
    error = L"PACKAGEINFO has bytes after the last unit name";
    return false;
  }
  for (size_t i = 0; i < info.units.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (SameUnitName(info.units[i], info.units[j])) {
        error = L"PACKAGEINFO lists a unit twice";
        return false;
      }
    }
  }
  return true;
}

bool ReadPackageInfo(HMODULE module, PackageInfo& info, std::wstring& error) {
  HRSRC resource = FindResourceW(module, L"PACKAGEINFO", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!resource) {
    error = L"no PACKAGEINFO resource";
    return false;
  }
  HGLOBAL loaded = LoadResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) {
    error = L"PACKAGEINFO resource cannot be read";
    return false;
  }
  return ParsePackageInfo(data, SizeofResource(module, resource), info, error);
}

std::vector<unsigned char> BuildPackageInfo(const PackageInfo& info) {
  std::vector<unsigned char> out;
  auto u32 = [&out](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  auto names = [&](const std::vector<std::string>& list) {
    u32(static_cast<std::uint32_t>(list.size()));
    for (const auto& n : list) {
      out.insert(out.end(), n.begin(), n.end());
      out.push_back(0);
    }
  };
  u32(info.flags);
  names(info.requiredPackages);
  names(info.units);
  return out;
}

} // namespace QmHost
