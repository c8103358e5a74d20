// The stand-in XML run-time's documents and what its ini file takes from
// the run-time: XML text read and written back as it was (blank text kept,
// references resolved and written again), text that is no document refused;
// StrToInt within 32 bits, ExpandFileName as the system expands a path.
#include <gtest/gtest.h>

#include <string>

#include "BdsRun.h"
#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "rtl150/IniFilesDriver.h"
#include "xmlrtl150/XmlIniDriver.h"

namespace {

struct TModules {
  HMODULE Rtl = LoadLibraryW((QmHostTest::HostDir() + L"rtl150.bpl").c_str());
  HMODULE Xml = LoadLibraryW((QmHostTest::HostDir() + L"xmlrtl150.bpl").c_str());
};
const TModules& Modules() {
  static const TModules modules;
  return modules;
}

std::string Temp(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + name;
}

std::string ReadBack(const std::string& text) {
  using namespace XmlIniDriver;
  const std::string in = Temp("QmXmlIn.xml"), out = Temp("QmXmlOut.xml");
  HANDLE file = CreateFileA(in.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
  auto load = Bind<LoadDocumentFn>(Modules().Xml, Export::LoadDocument);
  auto save = Bind<SaveDocumentFn>(Modules().Xml, Export::SaveDocument);
  auto release = Bind<ReleaseNodeFn>(Modules().Xml, Export::ReleaseNode);
  const std::wstring inWide(in.begin(), in.end()), outWide(out.begin(), out.end());
  void* root = load(inWide.c_str());
  if (!root) return "<refused>";
  save(root, outWide.c_str());
  release(root);
  std::string bytes(4096, '\0');
  file = CreateFileA(out.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD read = 0;
  ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
  return bytes.compare(0, declaration.size(), declaration) == 0 ? bytes.substr(declaration.size()) : "<no declaration>";
}

TEST(XmlDocument, ReadAndWrittenBack) {
  struct {
    const char* In;
    const char* Out;
  } const rows[] = {
      {"<ini/>", "<ini/>\r\n"},
      {"<?xml version=\"1.0\"?>\n<!-- c --><ini>\r\n  <S>\r\n    <K Name=\"a b\">v</K>\r\n  </S>\r\n</ini>\n",
       "<ini>\r\n  <S>\r\n    <K Name=\"a b\">v</K>\r\n  </S>\r\n</ini>\r\n"},
      {"<a x='1' y=\"&quot;&lt;\">&amp;&lt;&gt;&#65;&#x42;\xC3\xA4</a>", "<a x=\"1\" y=\"&quot;&lt;\">&amp;&lt;&gt;AB\xC3\xA4</a>\r\n"},
      {"\xEF\xBB\xBF<a><b></b>  <c/></a>", "<a><b/>  <c/></a>\r\n"},
      {"<a>", "<refused>"},
      {"<a></b>", "<refused>"},
      {"<a x=1/>", "<refused>"},
      {"<a>&bogus;</a>", "<refused>"},
      {"<a/><b/>", "<refused>"},
      {"text", "<refused>"},
  };
  ASSERT_NE(Modules().Xml, nullptr);
  for (const auto& row : rows) EXPECT_EQ(ReadBack(row.In), row.Out) << row.In;
}

TEST(XmlDocument, RunTimeConversionsTheIniFileUses) {
  using namespace IniFilesDriver;
  ASSERT_NE(Modules().Rtl, nullptr);
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  ASSERT_NE(rtl, nullptr);
  auto strToInt = XmlIniDriver::Bind<StrToIntFn>(Modules().Rtl, Export::StrToInt);
  auto expand = XmlIniDriver::Bind<ExpandFileNameFn>(Modules().Rtl, Export::ExpandFileName);
  struct {
    const wchar_t* Text;
    int32_t Value;
  } const numbers[] = {{L"12", 12}, {L" -7", -7}, {L"$1F", 31}, {L"0x10", 16}, {L"2147483647", 2147483647}, {L"-2147483648", INT32_MIN}};
  for (const auto& row : numbers) {
    wchar_t* s = rtl->NewString(row.Text);
    EXPECT_EQ(strToInt(s), row.Value) << row.Text;
    rtl->Release(s);
  }
  for (const wchar_t* refused : {L"2147483648", L"abc", L"7 "}) {
    wchar_t* s = rtl->NewString(refused);
    QmHost::HostExceptionReport report;
    EXPECT_FALSE(QmHost::CallHostGuarded([&] { strToInt(s); }, report, rtl)) << refused;
    EXPECT_EQ(report.className, L"EConvertError");
    rtl->Release(s);
  }
  for (const wchar_t* path : {L"rel\\x.txt", L"C:\\a\\..\\b.txt", L"."}) {
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    wchar_t* s = rtl->NewString(path);
    wchar_t* result = nullptr;
    expand(s, &result);
    EXPECT_EQ(std::wstring(result, size_t(QmHost::StrHeader(result)->length)), std::wstring(full, length));
    rtl->Release(s);
    rtl->Release(result);
  }
}

}  // namespace
