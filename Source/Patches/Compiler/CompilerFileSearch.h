// The compiler's file search answered from caches: "Compiler.FileSearchCache"
// (search results per directory, kind and name), "Compiler.DirectorySearch"
// (each search directory listed once, names answered from memory per
// search-list kind, the IDE's unsaved editor files included) and
// "Compiler.KibitzGetValidSymbols" (CodeInsight's symbol query runs in the
// compiler's current directory). Installed at the expert entry after the
// compiler optimizations, which made the file-age query go through our slot.
//
// The compiler runs on the main thread and on the IDE's background parser
// thread, never both at once: the caches are unlocked module state. Once the
// main thread asks the parser to yield, every answer on the parser thread
// comes from the compiler's own routines.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

class TDirectoryCache;
class TCompilerDirInfos;
class TFileNameDictionary;

// The cached file age (the compiler's file-age slot): the age from the
// directory's listing (or the query before it, for an age not read), the
// file's name case as on disk written over the caller's path where the
// bytes are as many; 0 for a file the listing does not have.
uint32_t QM_REGISTER CachedFileAge(char* path);
// The cached file search (the compiler's search routine): dir in eax (may
// be null), kind in dl, name in ecx; the stack arguments (reserved, then the
// 261-byte result buffer, which may be null) declared in reverse. The age
// of the file found, 0 when none is.
uint32_t QM_REGISTER CachedFileSearch(const char* dir, uint32_t kind, const char* name, char* result, void* reserved);
// The compiler created or rewrote a file: its age is read again when asked,
// a new file of a search directory is found, and search results that found
// it are dropped.
void NoteFileWritten(const char* path);
// Recomputes whether the parser must yield (false on the main thread).
bool ShouldAbort();

// What tests and benchmarks look at (null before the installation).
TDirectoryCache* FileSearchDirectoryCache();
TCompilerDirInfos* FileSearchCompilerDirs();
TFileNameDictionary* FileSearchResults();

std::vector<TPatchPlan> CompilerFileSearchPlans();
// The wizard-init procedure.
void InstallCompilerFileSearch();

extern const TUnitInfo Unit_CompilerFileSearch;

} // namespace Quillmend
