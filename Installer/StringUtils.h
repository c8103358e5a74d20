// Small text helpers with the installer's comparison rules: names of registry
// keys, values and command-line parameters compare without case.
#pragma once

#include <string>

namespace Quillmend {

bool SameText(const std::wstring& a, const std::wstring& b);
// <0, 0, >0 like wcscmp, but ignoring case.
int CompareText(const std::wstring& a, const std::wstring& b);
bool StartsText(const std::wstring& prefix, const std::wstring& text);
// Removes leading and trailing characters up to and including the blank
// (control characters count as blanks).
std::wstring Trim(const std::wstring& s);
// Decimal (optionally signed, leading blanks allowed) or "$"/"0x" hexadecimal;
// returns def when the text is not a number.
int StrToIntDef(const std::wstring& s, int def);
std::wstring FormatText(const wchar_t* format, const std::wstring& arg);

} // namespace Quillmend
