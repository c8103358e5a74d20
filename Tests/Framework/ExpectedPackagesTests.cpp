// The list of design packages the splash progress waits for, built from
// registry fixtures, a default project file and a set of loaded modules;
// then the progress each load reports.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "Framework/ExpectedPackages.h"
#include "TestPaths.h"

using Quillmend::TExpectedPackages;
using Quillmend::TExpectedPackageSources;

namespace {

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

using TNames = std::vector<std::wstring>;

struct TValue {
  const wchar_t* Key;  // below the base key
  const wchar_t* Name;
  const wchar_t* Data;
};

// The registry every row starts from (Wine lists values sorted by name).
const TValue BaseValues[] = {
    {L"Experts", L"Quillmend", L"  C:\\Pack\\Quillmend.dll  "},
    {L"Experts", L"Blank", L"   "},
    {L"Experts", L"Zagain", L"c:\\other\\QUILLMEND.DLL"},
    {L"Known Packages", L"$(BDS)\\bin\\dclstd150.bpl", L"Standard Components"},
    {L"Known Packages", L"$(BDS)\\bin\\dcloffice2k150.bpl", L"Office Servers"},
    {L"Known Packages", L"$(BDS)\\bin\\dclhidden150.bpl", L"_Hidden"},
    {L"Known Packages", L"$(BDS)\\bin\\dclnodesc150.bpl", L""},
    {L"Known Packages\\Delphi", L"C:\\ide\\delphidsgn.bpl", L"Delphi designer"},
    {L"Known IDE Packages\\Delphi", L"C:\\ide\\delphicoreide.bpl", L"Delphi core"},
    {L"Known Packages\\CBuilder", L"C:\\ide\\bcbdsgn.bpl", L"C++ designer"},
    {L"Known IDE Packages\\CBuilder", L"C:\\ide\\dclstd150.bpl", L"same file, other folder"},
    {L"Known Packages\\CSharp", L"C:\\ide\\csdsgn.bpl", L"C# designer"},
    {L"Known Assemblies", L"C:\\ide\\Borland.Assembly.dll", L"An assembly"},
};

struct TRow {
  const char* Name;
  TNames Params;
  std::vector<TValue> More;    // values added for this row
  const char* DefProject;      // contents of DefProject.bdsproj, or null for none
  std::set<std::wstring> Loaded;
  int32_t Expected;
  TNames Remaining;            // after the disabled packages went, sorted
};

const char* const ExclusionProject =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<BorlandProject>\r\n"
    "  <Delphi.Personality>\r\n"
    "    <Excluded_Packages>\r\n"
    "      <Excluded_Packages Name=\"$(BDS)\\bin\\dcloffice2k150.bpl\">Office Servers</Excluded_Packages>\r\n"
    "<Excluded_Packages Name=\" C:\\ide\\delphidsgn.bpl \">flush left</Excluded_Packages>\r\n"
    "    </Excluded_Packages>\r\n"
    "  </Delphi.Personality>\r\n"
    "  <CPlusPlusBuilder.Personality>\r\n"
    "\t<Excluded_Packages Name=\"C:\\ide\\bcbdsgn.bpl\">tab-indented</Excluded_Packages>\r\n"
    "  </CPlusPlusBuilder.Personality>\r\n"
    "  <Other.Personality>\r\n"
    "    <Excluded_Packages Name=\"C:\\ide\\dclstd150.bpl\">another section</Excluded_Packages>\r\n"
    "  </Other.Personality>\r\n"
    "</BorlandProject>\r\n";

const TRow Rows[] = {
    {"BothNativePersonalitiesByDefault", {}, {}, nullptr, {}, 6,
     {L"bcbdsgn.bpl", L"dcloffice2k150.bpl", L"dclstd150.bpl", L"delphicoreide.bpl", L"delphidsgn.bpl", L"Quillmend.dll"}},
    {"DelphiOnly", {L"-pDelphi"}, {}, nullptr, {}, 5,
     {L"dcloffice2k150.bpl", L"dclstd150.bpl", L"delphicoreide.bpl", L"delphidsgn.bpl", L"Quillmend.dll"}},
    {"SlashAndCaseAndQuotes", {L"/P\" Delphi ; CBuilder;\""}, {}, nullptr, {}, 6,
     {L"bcbdsgn.bpl", L"dcloffice2k150.bpl", L"dclstd150.bpl", L"delphicoreide.bpl", L"delphidsgn.bpl", L"Quillmend.dll"}},
    {"ManagedOnlyTakesAssemblies", {L"-pCSharp"}, {}, nullptr, {}, 3,
     {L"Borland.Assembly.dll", L"csdsgn.bpl", L"Quillmend.dll"}},
    {"UnknownPersonalityHasNoGeneralPackages", {L"-pNone"}, {}, nullptr, {}, 1, {L"Quillmend.dll"}},
    {"OtherParametersIgnored", {L"-rBDS", L"-np", L"project.dpr"}, {}, nullptr, {}, 6,
     {L"bcbdsgn.bpl", L"dcloffice2k150.bpl", L"dclstd150.bpl", L"delphicoreide.bpl", L"delphidsgn.bpl", L"Quillmend.dll"}},
    {"IndentedExclusionsPerSection", {}, {}, ExclusionProject, {}, 3,
     {L"dclstd150.bpl", L"delphicoreide.bpl", L"Quillmend.dll"}},
    {"ExclusionsOnlyForActivePersonality", {L"-pCBuilder"}, {}, ExclusionProject, {}, 3,
     {L"dcloffice2k150.bpl", L"dclstd150.bpl", L"Quillmend.dll"}},
    {"LoadedModulesDoNotCount", {}, {}, nullptr, {L"quillmend.dll", L"dclstd150.bpl"}, 4,
     {L"bcbdsgn.bpl", L"dcloffice2k150.bpl", L"delphicoreide.bpl", L"delphidsgn.bpl"}},
    {"DisabledCountAsLoaded", {}, {{L"Disabled Packages", L"C:\\x\\DelphiDsgn.bpl", L"Delphi designer"},
                                   {L"Disabled Packages", L"C:\\x\\bcbdsgn.bpl", L"_no"}},
     nullptr, {}, 6,
     {L"bcbdsgn.bpl", L"dcloffice2k150.bpl", L"dclstd150.bpl", L"delphicoreide.bpl", L"Quillmend.dll"}},
};

void PrintTo(const TRow& row, std::ostream* out) { *out << row.Name; }

class TFixture {
public:
  explicit TFixture(const TRow& row) {
    BaseKey = L"Software\\QuillmendTest\\Splash" + std::to_wstring(GetCurrentProcessId()) + L"\\8.0";
    std::vector<TValue> values(std::begin(BaseValues), std::end(BaseValues));
    values.insert(values.end(), row.More.begin(), row.More.end());
    for (const TValue& v : values) {
      HKEY key = nullptr;
      RegCreateKeyExW(HKEY_CURRENT_USER, (BaseKey + L"\\" + v.Key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr);
      RegSetValueExW(key, v.Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.Data),
                     DWORD((wcslen(v.Data) + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    Directory = std::wstring(temp) + L"QmSplash" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(Directory.c_str(), nullptr);
    DeleteFileW((Directory + L"\\DefProject.bdsproj").c_str());
    if (row.DefProject) WriteBytes(Directory + L"\\DefProject.bdsproj", row.DefProject);
  }
  ~TFixture() {
    RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\QuillmendTest\\Splash" + std::to_wstring(GetCurrentProcessId())).c_str());
    DeleteFileW((Directory + L"\\DefProject.bdsproj").c_str());
    RemoveDirectoryW(Directory.c_str());
  }
  std::wstring BaseKey, Directory;
};

std::function<bool(const std::wstring&)> LoadedIn(const std::set<std::wstring>& loaded) {
  return [loaded](const std::wstring& name) {
    for (const std::wstring& l : loaded)
      if (_wcsicmp(l.c_str(), name.c_str()) == 0) return true;
    return false;
  };
}

TExpectedPackages BuildFor(const TRow& row, const TFixture& fixture) {
  TExpectedPackageSources sources;
  sources.Params = row.Params;
  sources.BaseKey = fixture.BaseKey;
  sources.DefProjectDirectory = fixture.Directory;
  sources.IsLoaded = LoadedIn(row.Loaded);
  TExpectedPackages list;
  list.Build(sources);
  return list;
}

class ExpectedPackageList : public testing::TestWithParam<TRow> {};

TEST_P(ExpectedPackageList, FromRegistryPersonalitiesAndProject) {
  const TRow& row = GetParam();
  TFixture fixture(row);
  TExpectedPackages list = BuildFor(row, fixture);
  EXPECT_TRUE(list.Built());
  EXPECT_EQ(list.Remaining(), row.Remaining);
  EXPECT_EQ(list.Expected(), row.Expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExpectedPackageList, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<TRow>& info) { return std::string(info.param.Name); });

TEST(ExpectedPackageProgress, EachListedLoadAdvancesAndTheLastReachesAHundred) {
  const TRow& row = Rows[0];  // six expected
  TFixture fixture(row);
  TExpectedPackages list = BuildFor(row, fixture);
  std::set<std::wstring> loaded;
  auto isLoaded = [&loaded](const std::wstring& name) { return LoadedIn(loaded)(name); };
  const struct {
    const wchar_t* Path;
    std::vector<const wchar_t*> AlsoLoaded;  // modules loaded along with it
    int32_t Progress;
  } steps[] = {
      {L"C:\\elsewhere\\DCLSTD150.BPL", {}, 16},
      {L"C:\\ide\\notlisted.bpl", {}, -1},
      {L"C:\\ide\\dclstd150.bpl", {}, -1},  // already taken off
      {L"C:\\ide\\bcbdsgn.bpl", {L"delphidsgn.bpl"}, 50},  // a module loaded with it goes too
      {L"", {}, -1},
      {L"Quillmend.dll", {}, 66},
      {L"C:\\ide\\dcloffice2k150.bpl", {}, 83},
      {L"C:\\ide\\delphicoreide.bpl", {}, 100},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << std::string(step.Path, step.Path + wcslen(step.Path)));
    for (const wchar_t* also : step.AlsoLoaded) loaded.insert(also);
    EXPECT_EQ(list.PackageLoaded(step.Path, isLoaded), step.Progress);
  }
  EXPECT_TRUE(list.Remaining().empty());
}

TEST(ExpectedPackageProgress, NothingExpectedReportsNoProgress) {
  TExpectedPackages list;
  EXPECT_EQ(list.PackageLoaded(L"x.bpl", nullptr), -1);
  TExpectedPackageSources sources;  // no registry, no project
  list.Build(sources);
  EXPECT_EQ(list.Expected(), 0);
  EXPECT_EQ(list.PackageLoaded(L"x.bpl", nullptr), -1);
}

TEST(ExpectedPackageParts, ParametersFileNamesAndPersonalities) {
  const struct {
    TNames Params;
    TNames Personalities;
  } rows[] = {
      {{}, {L"CBuilder", L"Delphi"}},
      {{L"-pDelphi;"}, {L"Delphi"}},
      {{L"-p"}, {L"CBuilder", L"Delphi"}},
      {{L"-p;;"}, {L"CBuilder", L"Delphi"}},
      {{L"-pDelphi", L"/pCBuilder;\"CSharp\""}, {L"Delphi", L"CBuilder", L"CSharp"}},
      {{L"\"-p Delphi \""}, {L"Delphi"}},
      {{L"-PERSONALITY"}, {L"ERSONALITY"}},
      {{L"p", L"--pDelphi"}, {L"CBuilder", L"Delphi"}},
  };
  for (const auto& row : rows) EXPECT_EQ(Quillmend::PersonalitiesFromParams(row.Params), row.Personalities);

  EXPECT_EQ(Quillmend::FileNamePart(L"C:\\a\\b.bpl"), L"b.bpl");
  EXPECT_EQ(Quillmend::FileNamePart(L"C:b.bpl"), L"b.bpl");
  EXPECT_EQ(Quillmend::FileNamePart(L"b.bpl"), L"b.bpl");
  EXPECT_EQ(Quillmend::FileNamePart(L"a/b.bpl"), L"a/b.bpl");

  const TNames lines = {L"<Delphi.Personality>", L"  <Excluded_Packages Name=\"a\\unterminated.bpl",
                        L"<Excluded_Packages Name=\"\">empty</Excluded_Packages>",
                        L"<excluded_packages Name=\"c.bpl\">case</excluded_packages>", L" </DELPHI.personality> ",
                        L"<Excluded_Packages Name=\"after.bpl\"></Excluded_Packages>"};
  EXPECT_EQ(Quillmend::ExcludedPackages(lines, L"Delphi"), TNames{L"unterminated.bpl"});
  EXPECT_TRUE(Quillmend::ExcludedPackages(lines, L"CPlusPlusBuilder").empty());
}

TEST(ExpectedPackageParts, TextLinesByByteOrderMark) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"QmSplashLines" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  const struct {
    std::string Bytes;
    TNames Lines;
  } rows[] = {
      {"a\r\nb\nc", {L"a", L"b", L"c"}},
      {"\xEF\xBB\xBF\xC3\xA4\r\n\r\nz\r\n", {L"\u00E4", L"", L"z"}},
      {std::string("\xFF\xFE" "x\0\r\0\n\0y\0", 10), {L"x", L"y"}},
      {"", {}},
  };
  for (const auto& row : rows) {
    WriteBytes(path, row.Bytes);
    TNames lines;
    EXPECT_TRUE(Quillmend::ReadTextLines(path, lines));
    EXPECT_EQ(lines, row.Lines);
  }
  DeleteFileW(path.c_str());
  TNames lines;
  EXPECT_FALSE(Quillmend::ReadTextLines(path, lines));
}

}  // namespace

namespace {

// The set of loaded modules follows loads and unloads after one listing.
TEST(LoadedModules, FollowTheLoaderAfterStart) {
  Quillmend::TLoadedModules modules;
  EXPECT_FALSE(modules.Contains(L"kernel32.dll"));
  modules.Refresh();  // starts
  EXPECT_TRUE(modules.Following());
  EXPECT_TRUE(modules.Contains(L"KERNEL32.DLL"));
  EXPECT_FALSE(modules.Contains(L"kernel32"));

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring name = L"QmLoaded" + std::to_wstring(GetCurrentProcessId()) + L".dll";
  const std::wstring copy = std::wstring(temp) + name;
  ASSERT_TRUE(CopyFileW((BuildDirectory() + L"\\host-strings\\strmod.dll").c_str(), copy.c_str(), FALSE));
  EXPECT_FALSE(modules.Contains(name));
  HMODULE first = LoadLibraryW(copy.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(modules.Contains(name));
  HMODULE second = LoadLibraryW(copy.c_str());  // the same module again
  FreeLibrary(second);
  EXPECT_TRUE(modules.Contains(name));
  FreeLibrary(first);
  EXPECT_FALSE(modules.Contains(name));

  modules.Stop();
  EXPECT_FALSE(modules.Following());
  EXPECT_FALSE(modules.Contains(L"kernel32.dll"));
  DeleteFileW(copy.c_str());
}

}  // namespace
