// Import table rewriting on a DLL built for the purpose (ImportTwice/): its
// import tables list kernel32's GetTickCount three times, in two descriptors
// whose module names differ in case.
#include "Fixtures.h"

#include "Hooking/ImportHooking.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace Quillmend;

namespace {

constexpr DWORD FakeTicks = 0x5EED1234;
DWORD WINAPI FakeTickCount() { return FakeTicks; }

using TTickFunction = DWORD(WINAPI*)();

struct TImportTwiceDll {
  HMODULE Module = LoadLibraryW(L"QmImportTwice.dll");
  TTickFunction Get(const char* name) const {
    return reinterpret_cast<TTickFunction>(GetProcAddress(Module, name));
  }
  int FakeCount() const {
    int fakes = 0;
    for (const char* name : {"FirstTickCount", "SecondTickCount", "PlainTickCount"}) fakes += Get(name)() == FakeTicks;
    return fakes;
  }
};

void* RealTickCount() { return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount")); }
void* Fake() { return reinterpret_cast<void*>(&FakeTickCount); }

}  // namespace

TEST(ImageHeaders, OnlyAReadableImageWithBothSignaturesHasNtHeaders) {
  HMODULE self = GetModuleHandleW(nullptr);
  PIMAGE_NT_HEADERS headers = GetImageNtHeaders(self);
  ASSERT_NE(headers, nullptr);
  EXPECT_EQ(headers->Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));

  void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
  EXPECT_EQ(GetImageNtHeaders(reserved), nullptr);

  // "MZ" and an NT header offset whose 248 bytes run past the committed page.
  auto* page = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(page);
  dos->e_magic = IMAGE_DOS_SIGNATURE;
  dos->e_lfanew = 4096 - 16;
  std::memcpy(page + dos->e_lfanew, "PE\0\0", 4);
  EXPECT_EQ(GetImageNtHeaders(page), nullptr);
  VirtualFree(page, 0, MEM_RELEASE);
  VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST(ReplaceDllImport, EverySlotOfEveryDescriptorIsReplacedWhateverTheNameCase) {
  TImportTwiceDll dll;
  ASSERT_NE(dll.Module, nullptr);
  ASSERT_EQ(dll.FakeCount(), 0);

  EXPECT_TRUE(ReplaceDllImport(dll.Module, L"Kernel32.Dll", RealTickCount(), Fake()));
  EXPECT_EQ(dll.FakeCount(), 3);

  // Undone by swapping the two procedures.
  EXPECT_TRUE(ReplaceDllImport(dll.Module, L"KERNEL32.DLL", Fake(), RealTickCount()));
  EXPECT_EQ(dll.FakeCount(), 0);
}

TEST(ReplaceDllImport, ReadOnlyImportTableIsWrittenAndMadeReadOnlyAgain) {
  // System modules' import tables are read-only; this DLL's is made so.
  TImportTwiceDll dll;
  ASSERT_NE(dll.Module, nullptr);
  PIMAGE_NT_HEADERS headers = GetImageNtHeaders(dll.Module);
  ASSERT_NE(headers, nullptr);
  const IMAGE_DATA_DIRECTORY iat = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
  ASSERT_NE(iat.VirtualAddress, 0u);
  auto* table = reinterpret_cast<uint8_t*>(dll.Module) + iat.VirtualAddress;
  DWORD original;
  ASSERT_TRUE(VirtualProtect(table, iat.Size, PAGE_READONLY, &original));
  auto readOnly = [&] {  // one read-only region covers the whole table
    MEMORY_BASIC_INFORMATION info = {};
    return VirtualQuery(table, &info, sizeof info) == sizeof info && info.Protect == PAGE_READONLY &&
           static_cast<uint8_t*>(info.BaseAddress) + info.RegionSize >= table + iat.Size;
  };
  ASSERT_TRUE(readOnly());

  EXPECT_TRUE(ReplaceDllImport(dll.Module, L"kernel32.dll", RealTickCount(), Fake()));
  EXPECT_EQ(dll.FakeCount(), 3);
  EXPECT_TRUE(readOnly());

  EXPECT_TRUE(ReplaceDllImport(dll.Module, L"kernel32.dll", Fake(), RealTickCount()));
  EXPECT_EQ(dll.FakeCount(), 0);
  DWORD old;
  VirtualProtect(table, iat.Size, original, &old);
}

TEST(ReplaceDllImport, AnswersFalseAndChangesNothingWithoutAMatch) {
  TImportTwiceDll dll;
  ASSERT_NE(dll.Module, nullptr);
  EXPECT_FALSE(ReplaceDllImport(dll.Module, L"user32.dll", RealTickCount(), Fake()));
  EXPECT_FALSE(ReplaceDllImport(dll.Module, L"kernel32", RealTickCount(), Fake()));  // names compare whole
  EXPECT_FALSE(ReplaceDllImport(dll.Module, L"kernel32.dll", Code(Fixture_ReturnsOne), Fake()));
  EXPECT_FALSE(ReplaceDllImport(nullptr, L"kernel32.dll", RealTickCount(), Fake()));
  EXPECT_EQ(dll.FakeCount(), 0);
}

TEST(ReplaceImportEntries, SameWalkThroughTheClassOperation) {
  TImportTwiceDll dll;
  ASSERT_NE(dll.Module, nullptr);
  EXPECT_TRUE(TJclPeMapImgHooks::ReplaceImportEntries(dll.Module, L"kernel32.dll", RealTickCount(), Fake()));
  EXPECT_EQ(dll.FakeCount(), 3);
  EXPECT_TRUE(TJclPeMapImgHooks::ReplaceImportEntries(dll.Module, L"kernel32.dll", Fake(), RealTickCount()));
  EXPECT_EQ(dll.FakeCount(), 0);
  EXPECT_FALSE(TJclPeMapImgHooks::ReplaceImportEntries(dll.Module, L"gdi32.dll", RealTickCount(), Fake()));
}
