// The installer's version text, shown in its caption ("Register Quillmend %s").
#pragma once

namespace Quillmend {

constexpr const wchar_t* InstallerVersion = L"XE 5.7";

} // namespace Quillmend
