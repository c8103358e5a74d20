// Each collection patch three ways against the stand-in IDE packages:
// applied alone (the packages' results unchanged), disabled (nothing of it
// written), against package builds that differ where the patch looks (it,
// and what builds on it, failed with nothing written); the code restored
// byte for byte afterwards in every case.
#include <gtest/gtest.h>

#include <cstring>

#include "StandInIde.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const CastReduction = L"IDE.IntfCastReduction";
const wchar_t* const MoreSpeed = L"IDE.IntfCastReduction.MoreSpeed";
const wchar_t* const StrHash = L"IDE.Collections.StrHash";
const wchar_t* const UsesClear = L"IDE.UsesList.Clear";
const wchar_t* const CheckAndWarn = L"IDE.CheckAndWarn";
const wchar_t* const MsbObjects = L"IDE.MSBObjects";
const wchar_t* const CompToolbar = L"IDE.CompToolbarSpeed";
const wchar_t* const AddToList = L"IDE.AddToList";

const std::vector<TPatchRow> PatchRows = {
    {CastReduction, {}}, {MoreSpeed, {CastReduction}}, {StrHash, {}},     {UsesClear, {}},
    {CheckAndWarn, {}},  {MsbObjects, {}},             {CompToolbar, {}}, {AddToList, {}},
};

// A class record's instance size changed in the loaded package: a host
// whose record layout differs where no byte pattern looks.
void AlterInstanceSize(const wchar_t* module, const char* classExport, int32_t size) {
  auto* classRef = reinterpret_cast<char*>(GetProcAddress(GetModuleHandleW(module), classExport));
  std::memcpy(classRef - 52, &size, 4);
}

const std::vector<TVariantRow> VariantRows = {
    // TBasePaletteGroup.Clear altered: the search stops before "MoreSpeed" is registered.
    {"paletteclear", {CastReduction}, nullptr, {MoreSpeed}},
    {"nogetitem", {CastReduction, MoreSpeed}},
    {"nofinditem", {CastReduction, MoreSpeed}},
    {"hashctor", {StrHash}},  // the hash-function field at 0x40
    {"usesctor", {UsesClear}},
    {"nointernalfind", {UsesClear}},
    {"additem", {CheckAndWarn}},
    {"addproperty", {CheckAndWarn}},
    {"nofilltabs", {CompToolbar}},
    {"noaddtolist", {AddToList}},
    {"usesentry-size", {UsesClear}, [] { AlterInstanceSize(L"coreide150.bpl", "@Usesentry@TUsesEntry@", 96); }},
    {"itemgroup-size", {MsbObjects}, [] { AlterInstanceSize(L"coreide150.bpl", "@Msbnodes@TItemGroup@", 56); }},
};

const TThreeWaySubsystem& IdeCollections() {
  static const TThreeWaySubsystem subsystem{
      StandInIde::Modules(),
      [] { StandInIde::Bind(); },
      [] { StandInIde::InstallAll(); },
      [] { return StandInIde::Exercise(); },
      {CastReduction, MoreSpeed, StrHash, UsesClear, CheckAndWarn, MsbObjects, CompToolbar, AddToList},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(IdeCollections, IdeCollections(), PatchRows, VariantRows)

}  // namespace
