// "RTL.FieldAddress": loading a form, the component reader finds each new
// component's field through TObject.FieldAddress, which walks the field
// tables of the form's class and its ancestors name by name: quadratic in
// the number of fields. InitInheritedComponent is redirected to build, once
// per load, the sorted list of every published field of the instance's
// class and its ancestors, kept in two thread-local variables beside the
// instance for the duration of the load; FieldAddress (redirected) answers
// that instance's look-ups on that thread by a binary search, and every
// other one through the run-time's short-string overload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The published fields of a class and its ancestors by name, ASCII case
// ignored, as the field-table walk finds them: a name a descendant declares
// again is its field, not the ancestor's.
class TFieldNameList {
public:
  // Walks the class's field table, then its ancestors'. Throws std::bad_alloc.
  explicit TFieldNameList(const void* classRef);
  // The field's offset in an instance, or -1 (a name of UTF-8 bytes).
  int32_t Find(const uint8_t* name, size_t length) const;
  size_t Count() const { return FEntries.size(); }

private:
  // The list's order: by a key of the name's length and a hash of its
  // ASCII-folded bytes, then by those bytes. Any order in which "equal"
  // means the same name, ASCII case ignored, serves a binary search; in
  // this one nearly every comparison is one of two integers.
  struct TEntry {
    uint32_t Key;         // length << 24 | 24 bits of the folded name's hash
    const uint8_t* Name;  // a short string inside the class's field table
    int32_t Offset;
  };
  static uint32_t KeyOf(const uint8_t* name, size_t length);
  // The entry against a name of that key (its length in the key).
  static int Compare(const TEntry& a, uint32_t key, const uint8_t* name);
  std::vector<TEntry> FEntries;
};

// A host string's text as a UTF-8 short string (cut after the last whole
// character that fits in 255 bytes; a lone surrogate becomes U+FFFD).
void HostNameToShortUtf8(const wchar_t* name, uint8_t (&shortName)[256]);

using TInitInheritedComponent = uint8_t(QM_REGISTER*)(void* instance, void* rootAncestor);
using TFieldAddressShort = void*(QM_REGISTER*)(void* self, const uint8_t* name);
extern TInitInheritedComponent OrgInitInheritedComponent;
extern TFieldAddressShort HostFieldAddressShort;
uint8_t QM_REGISTER InitInheritedComponentReplacement(void* instance, void* rootAncestor);
void* QM_REGISTER FieldAddressReplacement(void* self, const wchar_t* name);

// The instance being loaded on the calling thread and its list (null: none).
void* FieldAddressLoadingInstance();
const TFieldNameList* FieldAddressLoadingList();

TPatchPlan FieldAddressPlan();
void InstallFieldAddressDFMLoadingOpt();

extern const TUnitInfo Unit_FieldAddressDFMLoadingOpt;

} // namespace Quillmend
