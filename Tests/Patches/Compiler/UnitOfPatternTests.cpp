// The places of the unit-of-address index and of the symbol lookup tables
// that are searched from another match lie in the windows the searches look
// at, and the context chains the index reads out of matched code are the
// compiler's.
#include <gtest/gtest.h>

#include "Hooking/Emit.h"
#include "StandInCompiler.h"

namespace {

uint8_t* Site(const char* routine) { return static_cast<uint8_t*>(StandIn::Driver().PatternSite(routine)); }

}  // namespace

TEST(UnitOfPatterns, RelativePlacesLieInTheirWindows) {
  StandIn::Load();
  uint8_t* k = Site("ContextOf");
  uint8_t* n1 = Site("CreateUnit");
  EXPECT_TRUE(n1 >= k - 0x500 && n1 < k);
  EXPECT_TRUE(Site("ResolveUseImports") > Site("ResolveUseKnown") &&
              Site("ResolveUseImports") < Site("ResolveUseKnown") + 0x200);
  EXPECT_TRUE(Site("ResolveUseImportUnit") > Site("ResolveUseImports") &&
              Site("ResolveUseImportUnit") < Site("ResolveUseImports") + 0x100);
  EXPECT_EQ(Site("SymLookupUnitNext"), Site("SymLookupUnit") + 0xB3);
  // G's chain, and K's further walks: the scratch and table chains.
  EXPECT_EQ(Quillmend::ReadPointer(Site("GetUnitOf") + 6), StandIn::Variables().Contexts);
  EXPECT_EQ(Quillmend::ReadPointer(k + 0x28), StandIn::Variables().ScratchContexts);
  EXPECT_EQ(Quillmend::ReadPointer(k + 0x4A), StandIn::Variables().TableContexts);
}
