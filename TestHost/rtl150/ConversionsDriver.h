// The stand-in run-time's conversions as their users call them, declared
// once for bds.exe's workloads, the tests and the benchmarks: export names,
// function types in the host's register convention (the module checks its
// definitions against them), a binder, and memory-stream helpers. The Int64
// overloads are not listed (their value travels on the stack, see
// RtlStreams.cpp).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "Common/HostLayout.h"
#include "coreide150/CoreIdeDriver.h"

namespace QmHost {

namespace RtlConversionExport {
constexpr const char* ExtractFilePath = "@Sysutils@ExtractFilePath$qqrx20System@UnicodeString";
constexpr const char* ExtractFileDir = "@Sysutils@ExtractFileDir$qqrx20System@UnicodeString";
constexpr const char* ExtractFileName = "@Sysutils@ExtractFileName$qqrx20System@UnicodeString";
constexpr const char* ExtractFileExt = "@Sysutils@ExtractFileExt$qqrx20System@UnicodeString";
constexpr const char* ChangeFileExt = "@Sysutils@ChangeFileExt$qqrx20System@UnicodeStringt1";
constexpr const char* ExtractRelativePath = "@Sysutils@ExtractRelativePath$qqrx20System@UnicodeStringt1";
constexpr const char* AnsiCompareFileName = "@Sysutils@AnsiCompareFileName$qqrx20System@UnicodeStringt1";
constexpr const char* SameFileName = "@Sysutils@SameFileName$qqrx20System@UnicodeStringt1";
constexpr const char* ObjectTextToBinary = "@Classes@ObjectTextToBinary$qqrp16Classes@TStreamt1";
constexpr const char* MemoryStreamClass = "@Classes@TMemoryStream@";
constexpr const char* ObjectCreate = "@System@TObject@$bctr$qqrv";
constexpr const char* FormatSettings = "@Sysutils@FormatSettings";
constexpr const char* AllocationCount = "RtlAllocationCount";
constexpr const char* LiveBlockCount = "RtlLiveBlockCount";
constexpr const char* FailAllocation = "RtlFailAllocation";
} // namespace RtlConversionExport

// Memory-stream fields and virtual method slots (TestHost/README.md).
namespace MemoryStreamLayout {
constexpr int Memory = 4, Size = 8, Position = 12, Capacity = 16, InstanceSize = 20;
}
namespace StreamSlot {
constexpr int GetSize = 0, SetSize32 = 4, SetSize64 = 8, Read = 12, Write = 16, Seek32 = 20, Seek64 = 24;
}

struct RtlConversions {
  using StringFn = void(QM_HOST_REGISTER*)(const wchar_t* s, wchar_t** result);
  using StringPairFn = void(QM_HOST_REGISTER*)(const wchar_t* a, const wchar_t* b, wchar_t** result);
  using CompareFn = int32_t(QM_HOST_REGISTER*)(const wchar_t* a, const wchar_t* b);
  using SameFn = uint8_t(QM_HOST_REGISTER*)(const wchar_t* a, const wchar_t* b);
  using ConvertFn = void(QM_HOST_REGISTER*)(void* input, void* output);
  using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc);
  using CountFn = LONG(__stdcall*)();
  using FailFn = void(__stdcall*)(LONG n);

  StringFn extractFilePath = nullptr, extractFileDir = nullptr, extractFileName = nullptr, extractFileExt = nullptr;
  StringPairFn changeFileExt = nullptr, extractRelativePath = nullptr;
  CompareFn ansiCompareFileName = nullptr;
  SameFn sameFileName = nullptr;
  StringFn extractModuleName = nullptr;  // coreide150.bpl
  ConvertFn objectTextToBinary = nullptr;
  void* memoryStreamClass = nullptr;
  CreateFn objectCreate = nullptr;
  CountFn allocationCount = nullptr, liveBlockCount = nullptr;
  FailFn failAllocation = nullptr;

  // From the loaded rtl150.bpl and coreide150.bpl; false (and the first
  // missing name in *missing) when one is absent.
  bool Resolve(HMODULE rtl, HMODULE coreIde, const char** missing = nullptr) {
    bool ok = true;
    auto bind = [&](HMODULE module, auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      if (!slot && ok && missing) *missing = name;
      ok = ok && slot;
    };
    namespace E = RtlConversionExport;
    bind(rtl, extractFilePath, E::ExtractFilePath);
    bind(rtl, extractFileDir, E::ExtractFileDir);
    bind(rtl, extractFileName, E::ExtractFileName);
    bind(rtl, extractFileExt, E::ExtractFileExt);
    bind(rtl, changeFileExt, E::ChangeFileExt);
    bind(rtl, extractRelativePath, E::ExtractRelativePath);
    bind(rtl, ansiCompareFileName, E::AnsiCompareFileName);
    bind(rtl, sameFileName, E::SameFileName);
    bind(coreIde, extractModuleName, CoreIdeDriver::Export::ExtractModuleName);
    bind(rtl, objectTextToBinary, E::ObjectTextToBinary);
    bind(rtl, memoryStreamClass, E::MemoryStreamClass);
    bind(rtl, objectCreate, E::ObjectCreate);
    bind(rtl, allocationCount, E::AllocationCount);
    bind(rtl, liveBlockCount, E::LiveBlockCount);
    bind(rtl, failAllocation, E::FailAllocation);
    return ok;
  }

  // A new, empty TMemoryStream (free it with TObject.Free).
  void* NewMemoryStream() const { return objectCreate(memoryStreamClass, 1); }
};

// A memory stream's bytes and position, read from its fields.
inline std::string MemoryStreamBytes(const void* stream) {
  const char* p = static_cast<const char*>(stream);
  const char* memory = *reinterpret_cast<char* const*>(p + MemoryStreamLayout::Memory);
  return std::string(memory, memory + *reinterpret_cast<const int32_t*>(p + MemoryStreamLayout::Size));
}
inline int32_t MemoryStreamPosition(const void* stream) {
  return *reinterpret_cast<const int32_t*>(static_cast<const char*>(stream) + MemoryStreamLayout::Position);
}
// Writes bytes through the stream's virtual Write and puts it back at 0.
inline void FillMemoryStream(void* stream, const std::string& bytes) {
  using WriteFn = int32_t(QM_HOST_REGISTER*)(void*, const void*, int32_t);
  using Seek32Fn = int32_t(QM_HOST_REGISTER*)(void*, int32_t, int);
  void* classRef = *static_cast<void**>(stream);
  reinterpret_cast<WriteFn>(VmtSlot(classRef, StreamSlot::Write))(stream, bytes.data(), int32_t(bytes.size()));
  reinterpret_cast<Seek32Fn>(VmtSlot(classRef, StreamSlot::Seek32))(stream, 0, 0);
}

} // namespace QmHost
