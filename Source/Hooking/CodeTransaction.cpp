#include "Hooking/CodeTransaction.h"

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <exception>

#include "Hooking/CodeRedirect.h"
#include "Hooking/Emit.h"
#include "Hooking/MemoryRegions.h"
#include "Hooking/OrgCall.h"
#include "Hooking/StartCodeSize.h"
#include "Hooking/WinApiHooking.h"
#include "Hooking/CallSites.h"

namespace Quillmend {

namespace {

// The process-wide log of committed transactions, oldest first.
SRWLOCK g_logLock = SRWLOCK_INIT;
std::vector<TCodeTransaction>* g_log = nullptr;  // created at the first commit, never freed
std::vector<std::wstring>* g_undoReports = nullptr;

class TLogLock {
public:
  TLogLock() { AcquireSRWLockExclusive(&g_logLock); }
  ~TLogLock() { ReleaseSRWLockExclusive(&g_logLock); }
  TLogLock(const TLogLock&) = delete;
  TLogLock& operator=(const TLogLock&) = delete;
};

std::vector<TCodeTransaction>& Log() {
  if (!g_log) g_log = new std::vector<TCodeTransaction>();
  return *g_log;
}

void Report(std::wstring text) {
  if (!g_undoReports) g_undoReports = new std::vector<std::wstring>();
  g_undoReports->push_back(std::move(text));
}

std::wstring Hex(const void* p) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
  return text;
}

std::wstring Where(const TCodeEdit& edit) { return edit.Label.empty() ? Hex(edit.Address) : edit.Label; }

bool Overlaps(const uint8_t* a, size_t aSize, const uint8_t* b, size_t bSize) {
  return a < b + bSize && b < a + aSize;
}

// The owner of committed bytes overlapping [address, address + size), or null.
const TCodeTransaction* CommittedOwnerOf(const uint8_t* address, size_t size) {
  if (!g_log) return nullptr;
  for (const TCodeTransaction& t : *g_log)
    for (const TCodeEdit& e : t.Edits())
      if (Overlaps(address, size, e.Address, e.NewBytes.size())) return &t;
  return nullptr;
}

bool IsWritableProtection(DWORD protect) {
  protect &= 0xFF;
  return protect == PAGE_READWRITE || protect == PAGE_WRITECOPY || protect == PAGE_EXECUTE_READWRITE ||
         protect == PAGE_EXECUTE_WRITECOPY;
}

// Writes one page's part of a range: read-only pages (code, import tables,
// method tables) are made writable for the write and get their protection back.
bool WritePagePart(uint8_t* dest, const uint8_t* source, size_t size) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(dest, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT) return false;
  if ((info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
  HANDLE process = GetCurrentProcess();
  DWORD oldProtect = 0;
  const bool makeWritable = !IsWritableProtection(info.Protect);
  if (makeWritable) {
    const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    const DWORD writable = (info.Protect & executable) ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
    if (!VirtualProtectEx(process, dest, size, writable, &oldProtect)) return false;
  }
  SIZE_T written = 0;
  const bool ok = WriteProcessMemory(process, dest, source, size, &written) && written == size;
  if (makeWritable) VirtualProtectEx(process, dest, size, oldProtect, &oldProtect);
  FlushInstructionCache(process, dest, size);
  return ok;
}

// Writes a range page by page; false (with the range partly written, which
// the caller rolls back) when a page refuses.
bool WriteRange(uint8_t* dest, const uint8_t* source, size_t size) {
  while (size > 0) {
    const uintptr_t pageEnd = (reinterpret_cast<uintptr_t>(dest) | 0xFFF) + 1;
    const size_t part = std::min<size_t>(size, pageEnd - reinterpret_cast<uintptr_t>(dest));
    if (!WritePagePart(dest, source, part)) return false;
    dest += part;
    source += part;
    size -= part;
  }
  return true;
}

std::vector<uint8_t> Rel32Instruction(uint8_t opcode, const void* site, const void* target,
                                      const std::vector<uint8_t>& tail) {
  std::vector<uint8_t> code(Rel32InstructionSize + tail.size());
  code[0] = opcode;
  WriteInt32(&code[1], Rel32Displacement(site, target));
  std::copy(tail.begin(), tail.end(), code.begin() + Rel32InstructionSize);
  return code;
}

// A redirect's trampoline that nothing can reach any more: unpublished
// (where it is still the published one) and given back to the pool.
void ForgetTrampoline(TCodeEdit& e) {
  void* published = e.Trampoline ? e.Trampoline : e.OrgCallValue;
  if (e.OrgCall && *e.OrgCall == published) *e.OrgCall = nullptr;
  if (e.Trampoline) ReleaseOrgCallMethodPtr(e.Trampoline);
  e.Trampoline = nullptr;
}

} // namespace

TCodeTransaction::TCodeTransaction(std::wstring owner) : FOwner(std::move(owner)) {}

bool TCodeTransaction::Fail(std::wstring reason) {
  if (FReason.empty()) FReason = std::move(reason);
  return false;
}

template <class F>
bool TCodeTransaction::KeepCommitted(uint8_t* address, F&& matches) {
  if (FCommitted) return false;
  TLogLock lock;
  if (!g_log) return false;
  for (const TCodeTransaction& t : *g_log) {
    if (t.Owner() != FOwner) continue;
    for (const TCodeEdit& e : t.Edits()) {
      if (e.Address != address || !matches(e)) continue;
      if (!IsReadableMemory(e.Address, e.NewBytes.size()) ||
          std::memcmp(e.Address, e.NewBytes.data(), e.NewBytes.size()) != 0)
        return false;
      FKept.push_back(e);
      return true;
    }
  }
  return false;
}

bool TCodeTransaction::CheckRange(uint8_t* address, size_t size, const std::wstring& label) {
  const std::wstring where = label.empty() ? Hex(address) : label;
  if (FCommitted) return Fail(where + L": transaction already committed");
  if (!address || size == 0) return Fail(where + L": nothing to write");
  if (!IsReadableMemory(address, size)) return Fail(where + L": memory not readable");
  for (const TCodeEdit& e : FEdits)
    if (Overlaps(address, size, e.Address, e.NewBytes.size())) return Fail(where + L": overlaps " + Where(e));
  TLogLock lock;
  if (const TCodeTransaction* owner = CommittedOwnerOf(address, size))
    return Fail(where + L": bytes already patched by " + owner->Owner());
  return true;
}

bool TCodeTransaction::Stage(void* address, std::vector<uint8_t> bytes, std::wstring label) {
  auto* at = static_cast<uint8_t*>(address);
  FKeptLast = KeepCommitted(at, [&](const TCodeEdit& e) { return e.NewBytes == bytes; });
  if (FKeptLast) return true;
  if (!CheckRange(at, bytes.size(), label)) return false;
  TCodeEdit edit;
  edit.Address = at;
  edit.SavedBytes.assign(at, at + bytes.size());
  edit.NewBytes = std::move(bytes);
  edit.Label = std::move(label);
  FEdits.push_back(std::move(edit));
  return true;
}

bool TCodeTransaction::StageCall(void* site, const void* target, std::vector<uint8_t> tail, std::wstring label) {
  return Stage(site, Rel32Instruction(OpCallRel32, site, target, tail), std::move(label));
}

bool TCodeTransaction::StageJump(void* site, const void* target, std::vector<uint8_t> tail, std::wstring label) {
  return Stage(site, Rel32Instruction(OpJmpRel32, site, target, tail), std::move(label));
}

bool TCodeTransaction::StageRetarget(void* site, const void* target, std::wstring label) {
  auto* at = static_cast<uint8_t*>(site);
  if (!at || !IsReadableMemory(at, Rel32InstructionSize))
    return Fail((label.empty() ? Hex(site) : label) + L": memory not readable");
  if (at[0] != OpCallRel32 && at[0] != OpJmpRel32)
    return Fail((label.empty() ? Hex(site) : label) + L": no relative call or jump");
  return Stage(site, Rel32Instruction(at[0], site, target, {}), std::move(label));
}

bool TCodeTransaction::StageRedirect(void* proc, const void* replacement, std::wstring label) {
  void* actual = GetActualAddr(proc);
  if (!actual) return Fail((label.empty() ? std::wstring(L"redirect") : label) + L": no routine");
  return StageJump(actual, replacement, {}, std::move(label));
}

bool TCodeTransaction::StageRedirectOrgCall(void* proc, const void* replacement, void** orgCall, std::wstring label) {
  auto* actual = static_cast<uint8_t*>(GetActualAddr(proc));
  const std::wstring where = label.empty() ? Hex(actual) : label;
  if (!actual || !IsReadableMemory(actual, 16)) return Fail(where + L": memory not readable");
  std::vector<uint8_t> jump(Rel32InstructionSize);
  EmitJmpRel32(jump.data(), actual, replacement);
  if (KeepCommitted(actual, [&](const TCodeEdit& e) {
        return e.OrgCall == orgCall && (e.Trampoline || e.OrgCallValue) && e.NewBytes.size() >= jump.size() &&
               std::equal(jump.begin(), jump.end(), e.NewBytes.begin());
      }))
    return true;
  int32_t size = 0;
  try {
    size = GetStartCodeSize(actual, Rel32InstructionSize, nullptr);
  } catch (const std::exception& e) {
    std::string text = e.what();
    return Fail(where + L": " + std::wstring(text.begin(), text.end()));
  }
  std::vector<uint8_t> code(size_t(size), OpNop);
  EmitJmpRel32(code.data(), actual, replacement);
  if (!Stage(actual, std::move(code), label)) return false;
  if (!FKeptLast) FEdits.back().OrgCall = orgCall;
  return true;
}

bool TCodeTransaction::StageWinApiHook(void* proc, const void* replacement, void** orgCall, std::wstring label) {
  auto* entry = static_cast<uint8_t*>(GetActualAddr(proc));
  if (!entry) return Fail((label.empty() ? std::wstring(L"hook") : label) + L": no routine");
  constexpr int PadSize = 5;
  switch (WinApiHookMode(entry)) {
    case 1:
      if (!StageJump(entry - PadSize, replacement, {0xEB, 0xF9}, label)) return false;
      if (FKeptLast) return true;
      FEdits.back().OrgCallValue = entry + 2;  // past the no-op: the function as it was
      break;
    case 2: {
      void* previous = GetCallTargetAddress(entry - PadSize);
      if (!StageRetarget(entry - PadSize, replacement, label)) return false;
      if (FKeptLast) return true;
      FEdits.back().OrgCallValue = previous;  // the hook that was there passes control on
      break;
    }
    default:
      return StageRedirectOrgCall(entry, replacement, orgCall, std::move(label));
  }
  FEdits.back().OrgCall = orgCall;
  return true;
}

bool TCodeTransaction::StagePointer(void* slot, const void* value, std::wstring label) {
  std::vector<uint8_t> bytes(sizeof(uint32_t));
  WriteInt32(bytes.data(), static_cast<int32_t>(reinterpret_cast<uintptr_t>(value)));
  return Stage(slot, std::move(bytes), std::move(label));
}

bool TCodeTransaction::Commit() {
  if (FCommitted) return Fail(L"transaction already committed");
  if (!FReason.empty()) return false;
  TLogLock lock;
  // Kept redirects publish their trampolines again (a rollback may have
  // cleared the variable since).
  for (const TCodeEdit& k : FKept)
    if (k.OrgCall) *k.OrgCall = k.Trampoline ? k.Trampoline : k.OrgCallValue;
  // Nothing may have changed since staging: not our own log, not the bytes.
  for (const TCodeEdit& e : FEdits) {
    if (const TCodeTransaction* owner = CommittedOwnerOf(e.Address, e.NewBytes.size()))
      return Fail(Where(e) + L": bytes already patched by " + owner->Owner());
    if (!IsReadableMemory(e.Address, e.SavedBytes.size()) ||
        std::memcmp(e.Address, e.SavedBytes.data(), e.SavedBytes.size()) != 0)
      return Fail(Where(e) + L": bytes changed since they were checked");
  }
  size_t done = 0;
  for (; done < FEdits.size(); ++done) {
    TCodeEdit& e = FEdits[done];
    if (e.OrgCall) {
      try {
        if (e.OrgCallValue)
          *e.OrgCall = e.OrgCallValue;
        else
          *e.OrgCall = e.Trampoline = CreateOrgCallMethodPtr(e.Address);
      } catch (const std::exception&) {
        break;
      }
    }
    if (!WriteRange(e.Address, e.NewBytes.data(), e.NewBytes.size())) {
      // The failed edit may be partly written: put its own bytes back too.
      WriteRange(e.Address, e.SavedBytes.data(), e.SavedBytes.size());
      ForgetTrampoline(e);
      break;
    }
  }
  if (done < FEdits.size()) {
    const std::wstring where = Where(FEdits[done]);
    const DWORD error = GetLastError();
    while (done-- > 0) {
      TCodeEdit& e = FEdits[done];
      WriteRange(e.Address, e.SavedBytes.data(), e.SavedBytes.size());
      ForgetTrampoline(e);
    }
    return Fail(where + L": write refused (error " + std::to_wstring(error) + L")");
  }
  FCommitted = true;
  if (FEdits.empty()) return true;
  Log().push_back(*this);
  if (FInUse) {
    // Kept edits may outlive an unload: the code they reach must stay mapped.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&UndoAllTransactions), &self);
  }
  return true;
}

std::vector<TCommittedRange> CommittedRanges() {
  TLogLock lock;
  std::vector<TCommittedRange> ranges;
  if (!g_log) return ranges;
  for (const TCodeTransaction& t : *g_log)
    for (const TCodeEdit& e : t.Edits()) ranges.push_back({t.Owner(), e.Address, e.NewBytes.size()});
  return ranges;
}

namespace {

// True when the transaction stays in place (reported); false when undone.
bool KeptInPlace(const TCodeTransaction& t) {
  if (!t.InUse() || !t.InUse()()) return false;
  Report(t.Owner() + L": left in place, still in use");
  return true;
}

void Undo(const TCodeTransaction& t) {
  const std::vector<TCodeEdit>& edits = t.Edits();
  for (auto e = edits.rbegin(); e != edits.rend(); ++e) {
    if (!IsReadableMemory(e->Address, e->NewBytes.size()) ||
        std::memcmp(e->Address, e->NewBytes.data(), e->NewBytes.size()) != 0) {
      Report(t.Owner() + L": bytes at " + Hex(e->Address) + L" changed by someone else, left as they are");
      continue;
    }
    if (!WriteRange(e->Address, e->SavedBytes.data(), e->SavedBytes.size()))
      Report(t.Owner() + L": bytes at " + Hex(e->Address) + L" could not be restored");
  }
}

} // namespace

void UndoAllTransactions() {
  TLogLock lock;
  if (!g_log) return;
  for (size_t i = g_log->size(); i-- > 0;) {
    TCodeTransaction& t = (*g_log)[i];
    if (KeptInPlace(t)) continue;
    Undo(t);
    g_log->erase(g_log->begin() + ptrdiff_t(i));
  }
}

void UndoTransactionsOf(const std::wstring& owner) {
  TLogLock lock;
  if (!g_log) return;
  for (size_t i = g_log->size(); i-- > 0;) {
    TCodeTransaction& t = (*g_log)[i];
    if (t.Owner() != owner || KeptInPlace(t)) continue;
    Undo(t);
    g_log->erase(g_log->begin() + ptrdiff_t(i));
  }
}

void DropTransactionsIn(const void* base, size_t size) {
  TLogLock lock;
  if (!g_log) return;
  const auto* start = static_cast<const uint8_t*>(base);
  auto inside = [&](const TCodeEdit& e) { return Overlaps(e.Address, e.NewBytes.size(), start, size); };
  for (TCodeTransaction& t : *g_log) {
    for (TCodeEdit& e : t.FEdits)
      if (inside(e)) ForgetTrampoline(e);
    t.FEdits.erase(std::remove_if(t.FEdits.begin(), t.FEdits.end(), inside), t.FEdits.end());
  }
  g_log->erase(std::remove_if(g_log->begin(), g_log->end(), [](const TCodeTransaction& t) { return t.FEdits.empty(); }),
               g_log->end());
}

std::vector<std::wstring> UndoReports() {
  TLogLock lock;
  return g_undoReports ? *g_undoReports : std::vector<std::wstring>();
}

} // namespace Quillmend
