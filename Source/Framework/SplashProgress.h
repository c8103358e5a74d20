// The splash screen's progress: while the IDE loads its design packages
// after the expert entry, a label in the splash form's top right corner
// shows the product title, the share of expected packages loaded so far and
// a thin bar. Not a named patch: installed when the library loads, through
// an unregistered plan redirecting the IDE's two package-load routines.
#pragma once

#include <cstdint>
#include <string>

#include "Framework/ExpectedPackages.h"
#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"

namespace Quillmend {

// Creates the list, redirects the package loads, then updates with no file.
// Installing twice does nothing.
void InstallSplashProgress();
// After a package load (FileName) or with none (""): builds the list once the
// expert entry has run, finds the splash form, makes or finds the label, and
// advances it. Does nothing while not installed.
void UpdateSplashProgress(const std::wstring& fileName);
// Puts both routines back and frees the list; a second call does nothing.
void UninstallSplashProgress();

bool SplashProgressInstalled();
// Why the package loads are not redirected ("" when they are).
const std::wstring& SplashProgressHookReason();
// The list while installed (null otherwise), the splash form and label found.
const TExpectedPackages* SplashExpectedPackages();
void* SplashProgressForm();
void* SplashProgressLabel();

// The label going with its form: forgets form and label, then uninstalls.
void SplashLabelDestroyed(void* label);

// The replacements (the host calls them the host's way).
// constructor TDesignPackage.Create(const FileName: string; Packages: TDesignPackages)
void* QM_REGISTER DesignPackageCreateHook(void* classRef, uint32_t alloc, const wchar_t* fileName, void* packages);
// procedure LoadDesignPackage(const FileName: string)
void QM_REGISTER LoadDesignPackageHook(const wchar_t* fileName);

// Installs at its unit's initialization; its finalization uninstalls and
// leaves a label that outlives the library a plain host label.
extern const TUnitInfo SplashProgressUnit;

}  // namespace Quillmend
