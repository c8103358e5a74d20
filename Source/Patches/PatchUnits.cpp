// Link order of the shipped patch modules: their unit initializations run in
// this order when Quillmend.dll loads, their finalizations in reverse.
#include "Framework/LibraryUnitTable.h"
#include "Patches/Compiler/CompilerCreateRootTypeUnitListOpt.h"
#include "Patches/Compiler/CompilerDbgGetFileIndexOptimization.h"
#include "Patches/Compiler/CompilerDbkReleaseUnusedMemory.h"
#include "Patches/Compiler/CompilerDbkRsmMemoryLeakFix.h"
#include "Patches/Compiler/CompilerErrorInsightKibitzedFix.h"
#include "Patches/Compiler/CompilerFileNameStrFunctions.h"
#include "Patches/Compiler/CompilerFileSearch.h"
#include "Patches/Compiler/CompilerFix.h"
#include "Patches/Compiler/CompilerGenInstantiateOpt.h"
#include "Patches/Compiler/CompilerLinkerGenericsMatchOptimization.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/CompilerOptimizationGetUnitOf.h"
#include "Patches/Compiler/CompilerPackageLookupOptimization.h"
#include "Patches/Compiler/CompilerRlink32MaxResCount.h"
#include "Patches/Compiler/CompilerShrinkUnitMemory.h"
#include "Patches/Compiler/ErrorInsightUnitResolveFix.h"
#include "Patches/Compiler/IDEKibitzFix.h"
#include "Patches/Compiler/MapFilefprintfPatch.h"
#include "Patches/Compiler/OptimizedUnitRead.h"
#include "Patches/Compiler/PrefetchTokenOptimization.h"
#include "Patches/Compiler/SymLookupHash.h"
#include "Patches/Compiler/WarnLoadResStringPatch.h"
#include "Patches/CppCompiler/BccOptimizations.h"
#include "Patches/CppCompiler/CppCompilerOptimization.h"
#include "Patches/CppCompiler/DebuggerCppSymbolOptimization.h"
#include "Patches/Debugger/DbgExprInspectorMemoryLeakFix.h"
#include "Patches/Debugger/DbgTruncArgsFix.h"
#include "Patches/Debugger/DbkCreateProcessWithRelHostApp.h"
#include "Patches/Debugger/DbkDefaultErrorModeFix.h"
#include "Patches/Debugger/DebuggerCRtl.h"
#include "Patches/Debugger/DebuggerLogView.h"
#include "Patches/DesignerShell/BProgressResponsiveness.h"
#include "Patches/DesignerShell/BitBtnDefaultsFix.h"
#include "Patches/DesignerShell/CompileProgressPopupModeFix.h"
#include "Patches/DesignerShell/ComponentDesignerFix.h"
#include "Patches/DesignerShell/DisablePackageCache.h"
#include "Patches/DesignerShell/FieldAddressDFMLoadingOpt.h"
#include "Patches/DesignerShell/FileRemovalWhenSwitchTextToFormFix.h"
#include "Patches/DesignerShell/GuidelinesHide.h"
#include "Patches/DesignerShell/IDENewSelectDirectory.h"
#include "Patches/DesignerShell/ImageListWriteChangeCounterFix.h"
#include "Patches/DesignerShell/ListViewStreamingFix.h"
#include "Patches/DesignerShell/PageControlTabSheetCompDropFix.h"
#include "Patches/DesignerShell/SearchUmlautInFilesFix.h"
#include "Patches/DesignerShell/SmallDfmLoadErrorDlgsPatch.h"
#include "Patches/DesignerShell/WMSettingsChangeFix.h"
#include "Patches/EditorParser/BackgroundParserUtils.h"
#include "Patches/EditorParser/ClassComplOperatorOverloadFix.h"
#include "Patches/EditorParser/ClassComplPublishedFix.h"
#include "Patches/EditorParser/CnWizardsCloseEditorFix.h"
#include "Patches/EditorParser/EditKernelUndoSpeed.h"
#include "Patches/EditorParser/EditorDisableUndoProtect.h"
#include "Patches/EditorParser/EditorFocusFix.h"
#include "Patches/EditorParser/EditorWriteBlockToStreamSizeFix.h"
#include "Patches/EditorParser/ElisionDestroyedLockFix.h"
#include "Patches/EditorParser/RefactoringActionUpdateFix.h"
#include "Patches/IdeCollections/CompToolbarSpeedFix.h"
#include "Patches/IdeCollections/IDECollectionOptimization.h"
#include "Patches/IdeCollections/IDEInterfaceSpeedFix.h"
#include "Patches/IdeCollections/IDEUsesListClearOptimization.h"
#include "Patches/IdeCollections/MSBNodesOptimization.h"
#include "Patches/IdeCollections/ToolUtilNotifierOptimization.h"
#include "Patches/IdeCorrections/EditorKernelParanMachtingFix.h"
#include "Patches/IdeCorrections/GDIResourceReduction.h"
#include "Patches/IdeCorrections/HelpInsightInteropCache.h"
#include "Patches/IdeCorrections/HelpInsightParserTaskFix.h"
#include "Patches/IdeCorrections/HelpInsightViewCommand.h"
#include "Patches/Rtl/DfmOptimization.h"
#include "Patches/Rtl/DotNetXmlSerializerOptimize.h"
#include "Patches/Rtl/FastFilePathStrFunctions.h"
#include "Patches/Rtl/IDEAnsiCompareFileName.h"
#include "Patches/SystemUnit/FastCodeInstall.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Patches/SystemUnit/FastcodeCPUID.h"
#include "Patches/SystemUnit/FindHInstanceCache.h"
#include "Patches/SystemUnit/SystemOptimize.h"
#include "Patches/Variants/VariantsConvOptimize.h"
#include "Patches/Xml/XMLIniFilePerformance.h"
#include "Patches/Xml/XmlDocOptimization.h"

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
    &Unit_CompilerShrinkUnitMemory,
    &Unit_OptimizedUnitRead,
    &Unit_MapFilefprintfPatch,
    &Unit_PrefetchTokenOptimization,
    &Unit_WarnLoadResStringPatch,
    &Unit_CompilerCreateRootTypeUnitListOpt,
    &Unit_CompilerRlink32MaxResCount,
    &Unit_CompilerDbkRsmMemoryLeakFix,
    &Unit_CompilerDbkReleaseUnusedMemory,
    &Unit_CompilerDbgGetFileIndexOptimization,
    &Unit_CompilerFileNameStrFunctions,
    &Unit_IDEKibitzFix,
    &Unit_CompilerErrorInsightKibitzedFix,
    &Unit_IDEAnsiCompareFileName,
    &Unit_FastFilePathStrFunctions,
    &Unit_DfmOptimization,
    &Unit_DotNetXmlSerializerOptimize,
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
    // Processor detection, the move's selection and System.Move's
    // redirection, in this order; the debugger's patches use the move.
    &Unit_FastcodeCPUID,
    &Unit_FastMove,
    &Unit_FastCodeInstall,
    &Unit_SystemOptimize,
    &Unit_FindHInstanceCache,
    &Unit_XmlDocOptimization,
    &Unit_XMLIniFilePerformance,
    &Unit_VariantsConvOptimize,
    &Unit_DebuggerCRtl,
    &Unit_DebuggerLogView,
    // The small debugger fixes, installed at the expert entry in this order.
    &Unit_DbkDefaultErrorModeFix,
    &Unit_DbgTruncArgsFix,
    &Unit_DbgExprInspectorMemoryLeakFix,
    &Unit_DbkCreateProcessWithRelHostApp,
    &Unit_HelpInsightInteropCache,
    &Unit_HelpInsightParserTaskFix,
    &Unit_HelpInsightViewCommand,
    // The editor, parser and code-completion fixes, grouped by the module
    // they patch; the parser's helper before the refactoring commands that ask it.
    &Unit_EditKernelUndoSpeed,
    &Unit_EditorDisableUndoProtect,
    &Unit_EditorWriteBlockToStreamSizeFix,
    &Unit_BackgroundParserUtils,
    &Unit_ElisionDestroyedLockFix,
    &Unit_CnWizardsCloseEditorFix,
    &Unit_EditorFocusFix,
    &Unit_RefactoringActionUpdateFix,
    &Unit_ClassComplPublishedFix,
    &Unit_ClassComplOperatorOverloadFix,
    // The designer, component library and IDE shell fixes, grouped by the module they patch.
    &Unit_WMSettingsChangeFix,
    &Unit_ListViewStreamingFix,
    &Unit_BitBtnDefaultsFix,
    &Unit_ImageListWriteChangeCounterFix,
    &Unit_ComponentDesignerFix,
    &Unit_SmallDfmLoadErrorDlgsPatch,
    &Unit_PageControlTabSheetCompDropFix,
    &Unit_GuidelinesHide,
    &Unit_FieldAddressDFMLoadingOpt,
    &Unit_BProgressResponsiveness,
    &Unit_CompileProgressPopupModeFix,
    &Unit_DisablePackageCache,
    &Unit_IDENewSelectDirectory,
    &Unit_FileRemovalWhenSwitchTextToFormFix,
    &Unit_SearchUmlautInFilesFix,
};
const size_t PatchUnitCount = sizeof(PatchUnits) / sizeof(PatchUnits[0]);

} // namespace Quillmend
