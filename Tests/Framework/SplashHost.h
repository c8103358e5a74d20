// The splash progress's surroundings in the test process: the stand-in
// run-time, component library and IDE packages, the IDE's services with a
// registry of known packages (copies of a small library under names of their
// own), and the two package loads called the host's way.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vcl150/LabelsDriver.h"

namespace SplashHost {

// Loads the stand-ins (once), hands the IDE services to the library and
// lists `count` packages under "Known Packages" of a fresh registry key;
// packages from `missingFrom` on are listed but have no file.
void Prepare(int count, int missingFrom = -1);
// Loads vcl150.bpl from <build>/host-variants/<variant> first (a component
// library lacking something); Prepare then loads the others.
void LoadVclVariant(const std::wstring& variant);
// Removes the registry key and the package copies.
void CleanUp();

const std::vector<std::wstring>& Packages();  // full paths, in listing order
// The host's TDesignPackage.Create (0) or LoadDesignPackage; the host
// exception's text when it raised, else "".
std::string LoadViaCreate(const std::wstring& path);
std::string LoadViaLoadDesignPackage(const std::wstring& path);
// The expert entry with the IDE services (the list is built from then on).
void EnterWizard();

LabelsDriver::TLabelState LabelState(void* label);
std::wstring Caption(void* label);
void* ShowSplash(bool withWindow);
void CloseSplash();
// A plain host label named "QuillmendLabel" on the splash form.
void* NewPlainLabel(void* owner);
// Paints a control on a memory context filled with the splash background.
std::vector<uint32_t> PaintOnBackground(void* control, int width, int height);

}  // namespace SplashHost
