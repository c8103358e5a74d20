// The installer's registry interface on the Win32 registry functions.
#pragma once

#include "Registry.h"

namespace Quillmend {

class TWin32Registry : public IRegistry {
public:
  std::unique_ptr<IRegKey> OpenKey(HKEY root, const std::wstring& path, TRegOpen mode) override;
  bool DeleteKey(HKEY root, const std::wstring& path) override;
};

} // namespace Quillmend
