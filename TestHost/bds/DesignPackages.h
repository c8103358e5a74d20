// After the experts the IDE loads its design packages: those under
// "<root>\Known Packages" through the core package's TDesignPackage.Create,
// then per personality (-p, default "Delphi" and "CBuilder") those under
// "Known Packages\<P>" and "Known IDE Packages\<P>" through the personality's
// LoadDesignPackage. Both export calls go to whatever code is at the
// exports now; both load through bds.exe's package loader (LoadPackage).
// Skipped as the IDE packages are: data empty or beginning with "_"
// (DESIGN-PACKAGE-SKIPPED <path>: no description), listed under "Disabled
// Packages" (…: disabled), a module of that path already loaded (…: loaded).
// Journal: DESIGN-PACKAGE <path> via=<TDesignPackage|LoadDesignPackage>
// before the call; a raise is journaled as EXCEPTION and the next package
// follows.
#pragma once

namespace QmHost {

void LoadDesignPackages();

} // namespace QmHost
