// The installer's own exception: a message for the error dialog. It never
// leaves the installer's process (one module, no host frames).
#pragma once

#include <exception>
#include <string>

namespace Quillmend {

class EInstallerError : public std::exception {
public:
  explicit EInstallerError(std::wstring message) : FMessage(std::move(message)) {}
  const std::wstring& Message() const { return FMessage; }
  const char* what() const noexcept override { return "EInstallerError"; }

private:
  std::wstring FMessage;
};

// The system's text for an error code, without the trailing line break.
std::wstring SysErrorMessage(unsigned long code);

// Raises "System Error.  Code: <n>.\r\n<text>" for GetLastError().
[[noreturn]] void RaiseLastSystemError();
[[noreturn]] void RaiseSystemError(unsigned long code);

} // namespace Quillmend
