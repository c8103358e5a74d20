// Link order of the shipped patch modules: their unit initializations run in
// this order when Quillmend.dll loads, their finalizations in reverse.
#include "Framework/LibraryUnitTable.h"
#include "Patches/Compiler/CompilerFileSearch.h"
#include "Patches/Compiler/CompilerFix.h"
#include "Patches/Compiler/CompilerGenInstantiateOpt.h"
#include "Patches/Compiler/CompilerLinkerGenericsMatchOptimization.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/CompilerOptimizationGetUnitOf.h"
#include "Patches/Compiler/CompilerPackageLookupOptimization.h"
#include "Patches/Compiler/ErrorInsightUnitResolveFix.h"
#include "Patches/Compiler/SymLookupHash.h"
#include "Patches/CppCompiler/BccOptimizations.h"
#include "Patches/CppCompiler/CppCompilerOptimization.h"
#include "Patches/CppCompiler/DebuggerCppSymbolOptimization.h"
#include "Patches/IdeCollections/CompToolbarSpeedFix.h"
#include "Patches/IdeCollections/IDECollectionOptimization.h"
#include "Patches/IdeCollections/IDEInterfaceSpeedFix.h"
#include "Patches/IdeCollections/IDEUsesListClearOptimization.h"
#include "Patches/IdeCollections/MSBNodesOptimization.h"
#include "Patches/IdeCollections/ToolUtilNotifierOptimization.h"
#include "Patches/IdeCorrections/EditorKernelParanMachtingFix.h"
#include "Patches/IdeCorrections/GDIResourceReduction.h"
#include "Patches/Rtl/DfmOptimization.h"
#include "Patches/Rtl/FastFilePathStrFunctions.h"
#include "Patches/Rtl/IDEAnsiCompareFileName.h"

namespace Quillmend {

const TUnitInfo* const PatchUnits[] = {
    &Unit_CompilerOptimization,
    // Its wizard-init procedure runs after the compiler optimizations'.
    &Unit_CompilerFileSearch,
    &Unit_ErrorInsightUnitResolveFix,
    // Its wizard-init runs before SymLookupHash's, whose tables it tells about released units.
    &Unit_CompilerOptimizationGetUnitOf,
    &Unit_SymLookupHash,
    &Unit_CompilerPackageLookupOptimization,
    &Unit_CompilerGenInstantiateOpt,
    &Unit_CompilerLinkerGenericsMatchOptimization,
    &Unit_CompilerFix,
    &Unit_IDEAnsiCompareFileName,
    &Unit_FastFilePathStrFunctions,
    &Unit_DfmOptimization,
    &Unit_IDEInterfaceSpeedFix,
    &Unit_IDECollectionOptimization,
    &Unit_IDEUsesListClearOptimization,
    &Unit_MSBNodesOptimization,
    &Unit_CompToolbarSpeedFix,
    &Unit_ToolUtilNotifierOptimization,
    // Their C++-compiler-init procedures run in this order on every compiler load.
    &Unit_CppCompilerOptimization,
    &Unit_DebuggerCppSymbolOptimization,
    &Unit_BccOptimizations,
    &Unit_EditorKernelParanMachtingFix,
    &Unit_GDIResourceReduction,
};
const size_t PatchUnitCount = sizeof(PatchUnits) / sizeof(PatchUnits[0]);

} // namespace Quillmend
