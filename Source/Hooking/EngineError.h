// The one C++ exception type of Quillmend. Engine and framework errors carry
// their exact message text in it; at every export and at library load the
// framework turns it into the host's own exception (see Framework/HostAbi.h),
// so it never leaves Quillmend.dll as a C++ exception.
#pragma once

#include <stdexcept>
#include <string>

namespace Quillmend {

class EQuillmendError : public std::runtime_error {
public:
  explicit EQuillmendError(const std::string& message) : std::runtime_error(message) {}
};

// printf-style message, then throw.
[[noreturn]] void RaiseError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The platform's operating-system error for a Win32 error code
// ("System Error.  Code: 5.\r\nAccess is denied.").
[[noreturn]] void RaiseOSError(unsigned long errorCode);
[[noreturn]] void RaiseLastOSError();

// The platform's out-of-memory error ("Out of memory").
[[noreturn]] void RaiseOutOfMemory();

} // namespace Quillmend
