#include "Hooking/StringHash.h"

#include <windows.h>

namespace Quillmend {

namespace {

constexpr uint32_t HashSeed = 0x10101010;

// A table entry: never 0, so every letter, digit and '_' changes the hash.
constexpr uint16_t Draw(uint32_t& randomSeed) { return static_cast<uint16_t>(NextHashRandom(randomSeed, 0xFFFF) + 1); }

struct TIdentifierTable {
  uint16_t Entry[256] = {};
  constexpr TIdentifierTable() {
    uint32_t randomSeed = HashSeed;
    for (int c = '0'; c <= '9'; ++c) Entry[c] = Draw(randomSeed);
    for (int c = 'A'; c <= 'Z'; ++c) Entry[c] = Entry[c - 'A' + 'a'] = Draw(randomSeed);
    Entry['_'] = Draw(randomSeed);
    Entry['\\'] = Draw(randomSeed);
  }
};

struct TUnicodeTables {
  uint16_t Sensitive[256] = {};
  uint16_t Insensitive[256] = {};
  constexpr TUnicodeTables() {
    uint32_t randomSeed = HashSeed;
    Sensitive[0] = 1;
    for (int c = 1; c <= 127; ++c) Sensitive[c] = Draw(randomSeed);
    for (int c = 0; c < 256; ++c) Insensitive[c] = Sensitive[c];
    for (int c = 'a'; c <= 'z'; ++c) Insensitive[c] = Sensitive[c - 'a' + 'A'];
  }
};

// Computed by the compiler: the tables exist, read-only, before any code of
// the library runs, so the hashes need no initialization call.
constexpr TIdentifierTable IdentifierTable;
constexpr TUnicodeTables UnicodeTables;

inline uint32_t Rotate(uint32_t h) { return (h << 6) | (h >> 26); }

// Characters from the euro sign up add nothing; below it the low byte selects the entry.
inline uint32_t UnicodeEntry(const uint16_t* table, wchar_t c) { return c < 0x20AC ? table[c & 0xFF] : 0; }

uint32_t UnicodeHash(const wchar_t* s, const uint16_t* table) {
  uint32_t h = 0;
  if (!s) return h;
  for (;; s += 4) {
    wchar_t c = s[0];
    if (c == 0) return h;
    h += UnicodeEntry(table, c);
    c = s[1];
    if (c == 0) return h;
    h += UnicodeEntry(table, c);
    c = s[2];
    if (c == 0) return h;
    h += UnicodeEntry(table, c);
    c = s[3];
    if (c == 0) return h;
    h += UnicodeEntry(table, c);
    h = Rotate(h);
  }
}

} // namespace

uint32_t Utf8HashText(const char* s) {
  uint32_t h = 0;
  if (!s) return h;
  const uint16_t* table = IdentifierTable.Entry;
  // Runs of eight bytes, rotated after each group of four. A byte <= 0 as a
  // signed value is the terminator or the start of a multi-byte character.
  for (const signed char* run = reinterpret_cast<const signed char*>(s);; run += 8) {
    for (int group = 0; group < 8; group += 4) {
      const signed char* p = run + group;
      int b = p[0];
      if (b <= 0) goto stop;
      h += table[b];
      b = p[1];
      if (b <= 0) goto stop;
      h += table[b];
      b = p[2];
      if (b <= 0) goto stop;
      h += table[b];
      b = p[3];
      if (b <= 0) goto stop;
      h += table[b];
      h = Rotate(h);
      continue;
    stop:
      return b == 0 ? h : Utf8HashTextWide(reinterpret_cast<const char*>(run));
    }
  }
}

uint32_t Utf8HashTextWide(const char* s) {
  constexpr int BufferLength = 260;
  wchar_t text[BufferLength];
  wchar_t lower[BufferLength];
  if (!s) return 0;
  int length = MultiByteToWideChar(CP_UTF8, 0, s, -1, text, BufferLength);
  // A failed conversion leaves the buffer without terminator: hash nothing.
  if (length <= 0) return 0;
  if (LCMapStringW(0x7F /* invariant locale */, LCMAP_LOWERCASE, text, length, lower, BufferLength) <= 0) return 0;
  uint32_t h = 0;
  for (const wchar_t* p = lower;; p += 4) {
    if (p[0] == 0) return h;
    h += p[0];
    if (p[1] == 0) return h;
    h += p[1];
    if (p[2] == 0) return h;
    h += p[2];
    if (p[3] == 0) return h;
    h += p[3];
    h = Rotate(h);
  }
}

uint32_t UnicodeHashText(const wchar_t* s) { return UnicodeHash(s, UnicodeTables.Sensitive); }

uint32_t UnicodeHashTextI(const wchar_t* s) { return UnicodeHash(s, UnicodeTables.Insensitive); }

} // namespace Quillmend
