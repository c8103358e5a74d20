// The C++ side of the stand-in compiler's searched routines: the allocator,
// the name table's chain search and node filling, the symbol walk, freeing
// contexts, and the C library's counted helpers.
#include <windows.h>

#include <cstring>

#include "Comp32xHost.h"

using namespace Comp32x;

extern "C" {
uint32_t Comp32xNameHash = 0;
uint32_t Comp32xNameLength = 0;
NameNode* Comp32xNameTable[NameBuckets] = {};
uint8_t* Comp32xCurrentContext = nullptr;
int32_t Comp32xLookupLimit = 0x7FFFFFFF;
uint8_t* Comp32xState = nullptr;
LocaleRecord* Comp32xLocale = nullptr;
uint8_t Comp32xLowerTable[256];
uint32_t Comp32xLtolowerCalls = 0;
}

namespace Comp32x {

uint32_t g_isLowerCalls = 0;
uint32_t g_toUpperCalls = 0;
uint32_t g_nodeSerial = 0;

namespace {

// Blocks carved from 1 MB chunks, never returned while the compiler is
// loaded (names live as long as the compiler); the chunks go with the module.
constexpr uint32_t ChunkSize = 1 << 20;
uint8_t* g_chunk = nullptr;
uint32_t g_chunkUsed = ChunkSize;

uint8_t g_stateRecord[StateLayout::Size];
LocaleRecord g_locale = {0, 0, 0};

// Freed contexts, reused newest first: a new context takes the address of
// the last one released.
struct FreeContext {
  FreeContext* Next;
};
FreeContext* g_freeContexts = nullptr;

uint8_t*& ContextField(uint8_t* context, int offset) { return *reinterpret_cast<uint8_t**>(context + offset); }

// The name's byte at `index` of its unescaped form, advancing `p`.
uint8_t NextNameByte(const uint8_t*& p) {
  uint8_t c = *p++;
  if (c == 0xFF) c = *p++;
  return c;
}

}  // namespace

void InitializeHost() {
  for (int c = 0; c < 256; ++c) Comp32xLowerTable[c] = uint8_t(c >= 'A' && c <= 'Z' ? c + 32 : c);
  Comp32xState = g_stateRecord;
  Comp32xLocale = &g_locale;
}

uint8_t* NewContext() {
  uint8_t* context;
  if (g_freeContexts) {
    context = reinterpret_cast<uint8_t*>(g_freeContexts);
    g_freeContexts = g_freeContexts->Next;
  } else {
    context = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, ContextLayout::Size));
  }
  std::memset(context, 0, ContextLayout::Size);
  ContextField(context, ContextLayout::Buffer) = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, 64));
  *reinterpret_cast<uint32_t*>(context + ContextLayout::Loaded) = 1;
  *reinterpret_cast<uint32_t*>(context + ContextLayout::HasDebugInfo) = 1;
  ++*reinterpret_cast<int32_t*>(g_stateRecord + StateLayout::LiveContexts);
  return context;
}

void AddSymbol(uint8_t* context, const char* name, uint32_t flags, int32_t value) {
  auto* symbol = new Symbol{nullptr, nullptr, flags, value};
  size_t n = std::strlen(name);
  symbol->Name = new char[n + 1];
  std::memcpy(symbol->Name, name, n + 1);
  auto*& tail = reinterpret_cast<Symbol*&>(ContextField(context, ContextLayout::SymbolTail));
  if (tail)
    tail->Next = symbol;
  else
    ContextField(context, ContextLayout::Symbols) = reinterpret_cast<uint8_t*>(symbol);
  tail = symbol;
  ++*reinterpret_cast<int32_t*>(context + ContextLayout::SymbolCount);
}

const Symbol* FirstSymbol(const uint8_t* context) {
  return *reinterpret_cast<Symbol* const*>(context + ContextLayout::Symbols);
}

}  // namespace Comp32x

extern "C" {

void* Comp32xAllocate(uint32_t size, uint32_t tag) {
  size = (size + 3) & ~3u;
  if (size > ChunkSize) return nullptr;
  if (g_chunkUsed + size > ChunkSize) {
    g_chunk = static_cast<uint8_t*>(VirtualAlloc(nullptr, ChunkSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!g_chunk) return nullptr;
    g_chunkUsed = 0;
  }
  uint8_t* block = g_chunk + g_chunkUsed;
  g_chunkUsed += size;
  // The name pool stamps every node with its creation serial (offset 8,
  // which the interning leaves alone), so checksums can name nodes.
  if (tag == NamePoolTag && size >= 12) reinterpret_cast<uint32_t*>(block)[2] = ++g_nodeSerial;
  return block;
}

// The node's length byte and its name (unescaped, zero-terminated), then the
// node at the end of the bucket's chain.
void Comp32xStoreName(NameNode* node, const char* name, NameNode** bucket) {
  node->Length = uint8_t(Comp32xNameLength);
  const auto* p = reinterpret_cast<const uint8_t*>(name);
  for (uint32_t i = 0; i < Comp32xNameLength; ++i) node->Name[i] = char(NextNameByte(p));
  node->Name[Comp32xNameLength] = 0;
  NameNode** link = bucket;
  while (*link) link = &(*link)->Next;
  *link = node;
}

// The first node of the chain with the name's length byte and its bytes.
NameNode* Comp32xChainFind(NameNode** bucket, const char* name, uint32_t length) {
  for (NameNode* node = *bucket; node; node = node->Next) {
    if (node->Length != uint8_t(length)) continue;
    const auto* p = reinterpret_cast<const uint8_t*>(name);
    uint32_t i = 0;
    while (i < length && uint8_t(node->Name[i]) == NextNameByte(p)) ++i;
    if (i == length) return node;
  }
  return nullptr;
}

const char* Comp32xNameText(const NameRecord* record) { return record->Text; }

int32_t Comp32xWalkSymbols(const uint8_t* context, const char* name, int32_t flag, int32_t limit) {
  int32_t seen = 0;
  for (const Symbol* s = FirstSymbol(context); s && seen < limit; s = s->Next, ++seen)
    if ((s->Flags & uint32_t(flag)) == uint32_t(flag) && std::strcmp(s->Name, name) == 0) return s->Value;
  return 0;
}

void Comp32xFree(void* block) { HeapFree(GetProcessHeap(), 0, block); }

void Comp32xFreeContext(uint8_t* context) {
  for (Symbol* s = const_cast<Symbol*>(FirstSymbol(context)); s;) {
    Symbol* next = s->Next;
    delete[] s->Name;
    delete s;
    s = next;
  }
  std::memset(context, 0xDD, ContextLayout::Size);
  auto* entry = reinterpret_cast<FreeContext*>(context);
  entry->Next = g_freeContexts;
  g_freeContexts = entry;
}

int Comp32xIsLower(int c) {
  ++g_isLowerCalls;
  return c >= 'a' && c <= 'z';
}

int Comp32xToUpper(int c) {
  ++g_toUpperCalls;
  return c >= 'a' && c <= 'z' ? c - 32 : c;
}

}  // extern "C"
