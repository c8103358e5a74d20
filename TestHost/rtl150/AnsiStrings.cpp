// Null-terminated 8-bit string routines of the host run-time (SysUtils).
#include "Common/HostLayout.h"

extern "C" {

// function StrLComp(const Str1, Str2: PAnsiChar; MaxLen: Cardinal): Integer;
// Compares at most MaxLen characters, stopping after a terminating zero:
// 0 when equal, else the difference of the first unequal characters taken
// as unsigned bytes.
int QM_HOST_REGISTER RtlStrLComp(const char* str1, const char* str2, unsigned maxLen) QM_HOST_SYMBOL(rtl_StrLComp);

int QM_HOST_REGISTER RtlStrLComp(const char* str1, const char* str2, unsigned maxLen) {
  for (unsigned i = 0; i < maxLen; ++i) {
    const unsigned char a = static_cast<unsigned char>(str1[i]);
    const unsigned char b = static_cast<unsigned char>(str2[i]);
    if (a != b) return int(a) - int(b);
    if (a == 0) break;
  }
  return 0;
}

} // extern "C"
