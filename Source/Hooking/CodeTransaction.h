// All-or-nothing writes into the running process's code and data.
//
// A patch stages every edit first: the bytes it wants at an address, with the
// bytes found there saved at the moment of staging. Nothing is written until
// Commit, which writes the edits in order and, if one write fails, puts back
// what it had written and leaves the target as it was. Committed transactions
// are kept in one process-wide log, so the library can undo them all, in
// reverse order, when it unloads; an undo that finds bytes it did not write
// (someone patched on top of us) leaves them alone and reports it.
//
// A patch installed again (the C++ compiler's patches run on every compiler
// load) keeps what an earlier commit of the same owner wrote and is still in
// place: such an edit is not staged a second time, so a jump is never written
// over our own jump. Edits inside a module that unloads are dropped, never
// restored (DropTransactionsIn).
//
// Patch code reaches the raw write primitives only through this type, also
// for hooks installed later at run time (a module loaded after start-up).
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

namespace Quillmend {

// Answers whether host objects still rely on a committed transaction's
// replacements (see TCodeTransaction::KeepInPlaceWhile).
using TInUse = bool (*)();

// One staged or committed write.
struct TCodeEdit {
  uint8_t* Address;
  std::vector<uint8_t> NewBytes;
  std::vector<uint8_t> SavedBytes;   // what was there when the edit was staged
  void** OrgCall = nullptr;          // where the original-call entry is published at commit
  void* OrgCallValue = nullptr;      // that entry when known at staging (else a trampoline is built)
  void* Trampoline = nullptr;        // the trampoline built at commit, if one was
  std::wstring Label;                // for reasons: "UnitFind +0x05"
};

class TCodeTransaction {
public:
  // Owner: the patch name the edits are committed and undone under.
  explicit TCodeTransaction(std::wstring owner);

  // Stages `bytes` at `address`. False (with Reason set) when the range is
  // unreadable, overlaps another edit of this transaction, or overlaps bytes
  // a committed transaction of the process owns. Writes nothing. The same
  // bytes committed earlier by this owner and still in place are kept
  // instead (true, listed in Kept()).
  bool Stage(void* address, std::vector<uint8_t> bytes, std::wstring label = L"");
  // A 5-byte relative call (E8) or jump (E9) at `site` to `target`, followed by `tail`.
  bool StageCall(void* site, const void* target, std::vector<uint8_t> tail = {}, std::wstring label = L"");
  bool StageJump(void* site, const void* target, std::vector<uint8_t> tail = {}, std::wstring label = L"");
  // The relative call or jump already at `site` (E8/E9) aimed at `target`;
  // false when no such instruction is there.
  bool StageRetarget(void* site, const void* target, std::wstring label = L"");
  // A jump from a routine's start (after GetActualAddr) to `replacement`.
  bool StageRedirect(void* proc, const void* replacement, std::wstring label = L"");
  // The same, padded with nops to whole instructions, and an original-call
  // trampoline built at commit time from the saved start code; it is stored
  // into *orgCall before the jump is written (null again after a rollback).
  // False when the start cannot be decoded. This owner's committed jump to
  // the same replacement, still in place, is kept with its trampoline
  // (published into *orgCall again at commit).
  bool StageRedirectOrgCall(void* proc, const void* replacement, void** orgCall, std::wstring label = L"");
  // A hook over a Win32 entry, laid out as WinApiHookMode says (hot-patch
  // jump, taking over an existing one, or a redirect with a trampoline); the
  // way to call the function as it was is stored into *orgCall before the
  // hook goes live.
  bool StageWinApiHook(void* proc, const void* replacement, void** orgCall, std::wstring label = L"");
  // A 32-bit pointer slot (method table, import table, data variable).
  bool StagePointer(void* slot, const void* value, std::wstring label = L"");

  // Host objects may come to depend on what the replacements do (a bitmap
  // they share that the host's own code would free once per holder). While
  // `inUse` answers true, an undo leaves this transaction's edits in place
  // and in the log, reports it, and a later undo tries again. Committing
  // such a transaction pins the module this code lives in, so that the
  // edits never point into an unloaded library.
  void KeepInPlaceWhile(TInUse inUse) { FInUse = inUse; }
  TInUse InUse() const { return FInUse; }

  // Writes every staged edit in staging order, or none: a failed write rolls
  // back the ones before it. True on success; the transaction is then in the
  // process-wide log. An empty transaction commits trivially.
  bool Commit();

  const std::wstring& Owner() const { return FOwner; }
  const std::wstring& Reason() const { return FReason; }
  const std::vector<TCodeEdit>& Edits() const { return FEdits; }
  // Edits of earlier commits of this owner that this transaction keeps.
  const std::vector<TCodeEdit>& Kept() const { return FKept; }
  bool Committed() const { return FCommitted; }

private:
  friend void DropTransactionsIn(const void* base, size_t size);
  bool Fail(std::wstring reason);
  bool CheckRange(uint8_t* address, size_t size, const std::wstring& label);
  // Keeps this owner's committed edit at `address` when `matches` accepts it
  // and its bytes are still in place.
  template <class F>
  bool KeepCommitted(uint8_t* address, F&& matches);

  std::wstring FOwner;
  std::wstring FReason;
  std::vector<TCodeEdit> FEdits;
  std::vector<TCodeEdit> FKept;
  bool FKeptLast = false;  // the last Stage kept a committed edit instead of adding one
  bool FCommitted = false;
  TInUse FInUse = nullptr;
};

// A committed range, as the harness and the check tool see it.
struct TCommittedRange {
  std::wstring Owner;
  uint8_t* Address;
  size_t Size;
};

// Every range written by a committed transaction still in the log.
std::vector<TCommittedRange> CommittedRanges();

// Undoes every committed transaction in reverse order of commit, each one's
// edits in reverse order, byte for byte, and empties the log. Bytes that are
// no longer the ones we wrote are left as they are and reported; a
// transaction kept in place while in use stays in the log (reported too).
void UndoAllTransactions();
// Undoes the committed transactions of one owner (reverse order), with the
// same exceptions.
void UndoTransactionsOf(const std::wstring& owner);
// Forgets, without writing, every committed edit inside [base, base + size):
// that module is gone or about to go, and its memory may be reused. The
// trampolines of dropped redirects go back to the pool, and where they were
// published (still unchanged) becomes null.
void DropTransactionsIn(const void* base, size_t size);

// What the undo found and left alone ("Compiler.X: bytes at 1234ABCD changed
// by someone else, left as they are"), oldest first.
std::vector<std::wstring> UndoReports();

} // namespace Quillmend
