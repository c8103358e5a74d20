// TObject.FieldAddress: the address of a published field by its name. Both
// overloads walk the field table of the object's class, then of each
// ancestor, comparing every entry's name (ASCII case ignored) until one
// matches: a form of n components pays n/2 comparisons per field on average,
// n²/2 for the whole form. The string overload encodes the name as UTF-8
// into a short string (255 bytes at most) and goes through the other.
#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

using namespace QmHost;

namespace {

volatile LONG g_walks = 0;

std::uint8_t FoldAscii(std::uint8_t c) { return c >= 'A' && c <= 'Z' ? std::uint8_t(c + 32) : c; }

bool SameShortName(const std::uint8_t* a, const std::uint8_t* b) {
  if (a[0] != b[0]) return false;
  for (int i = 1; i <= a[0]; ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

const void* ParentOf(const void* classRef) {
  auto* parentVar = static_cast<void* const*>(VmtSlot(classRef, kVmtParent));
  return parentVar ? *parentVar : nullptr;
}

// One code point of UTF-16 at `at` as UTF-8 into `out` (room permitting);
// a lone surrogate becomes U+FFFD. Returns the bytes written, 0 when they
// do not fit.
int PutUtf8(const wchar_t*& at, std::uint8_t* out, int room) {
  std::uint32_t c = *at++;
  if (c >= 0xD800 && c <= 0xDBFF && *at >= 0xDC00 && *at <= 0xDFFF)
    c = 0x10000 + ((c - 0xD800) << 10) + (std::uint32_t(*at++) - 0xDC00);
  else if (c >= 0xD800 && c <= 0xDFFF)
    c = 0xFFFD;
  const int size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  if (size > room) return 0;
  if (size == 1) {
    out[0] = std::uint8_t(c);
  } else {
    for (int i = size - 1; i > 0; --i, c >>= 6) out[i] = std::uint8_t(0x80 | (c & 0x3F));
    out[0] = std::uint8_t((0xF00 >> size) | c);
  }
  return size;
}

} // namespace

extern "C" {

void* QM_HOST_REGISTER RtlFieldAddressShort(void* self, const std::uint8_t* name)
    QM_HOST_SYMBOL(rtl_TObject_FieldAddressShort);
void* QM_HOST_REGISTER RtlFieldAddressBody(void* self, const wchar_t* name) QM_HOST_SYMBOL(rtl_FieldAddressBody);
int __stdcall RtlFieldAddressWalks() { return g_walks; }

// function FieldAddress(const Name: ShortString): Pointer
void* QM_HOST_REGISTER RtlFieldAddressShort(void* self, const std::uint8_t* name) {
  InterlockedIncrement(&g_walks);
  for (const void* c = *static_cast<void* const*>(self); c; c = ParentOf(c)) {
    auto* table = static_cast<const std::uint8_t*>(VmtSlot(c, kVmtFieldTable));
    if (!table) continue;
    const std::uint8_t* entry = table + 6;
    for (int i = table[0] | table[1] << 8; i > 0; --i, entry += 7 + entry[6]) {
      if (!SameShortName(entry + 6, name)) continue;
      const std::uint32_t offset = std::uint32_t(entry[0] | entry[1] << 8 | entry[2] << 16 | entry[3] << 24);
      return static_cast<char*>(self) + offset;
    }
  }
  return nullptr;
}

// function FieldAddress(const Name: string): Pointer (the body behind its
// entry): the name as a UTF-8 short string, cut after the last whole
// character that fits.
void* QM_HOST_REGISTER RtlFieldAddressBody(void* self, const wchar_t* name) {
  std::uint8_t shortName[256];
  int length = 0;
  for (const wchar_t* at = name; at && *at;) {
    const int size = PutUtf8(at, shortName + 1 + length, 255 - length);
    if (!size) break;
    length += size;
  }
  shortName[0] = std::uint8_t(length);
  return RtlFieldAddressShort(self, shortName);
}

} // extern "C"
