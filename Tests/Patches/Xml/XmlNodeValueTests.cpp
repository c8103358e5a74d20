// "RTL.XMLDocOptimization": node values read and written as the XML
// run-time's originals do (an empty text reads as Null; Booleans written
// as "true"/"false" with UseXSDBooleanStrings on and as VarToStr gives them
// with it off), and the patch three ways against the stand-in packages.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Common/HostRtl.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Xml/XmlDocOptimization.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "rtl150/VariantsDriver.h"
#include "xmlrtl150/XmlDriver.h"

namespace {

using VariantsDriver::TVarData;

struct TXml {
  HMODULE Rtl = nullptr, Module = nullptr;
  XmlDriver::GetNodeValueFn Get = nullptr;
  XmlDriver::SetNodeValueFn Set = nullptr;
  XmlDriver::NewNodeFn NewNode = nullptr;
  XmlDriver::NodeTextFn NodeText = nullptr;
  XmlDriver::FreeNodeFn FreeNode = nullptr;
  uint8_t* UseXsd = nullptr;
  VariantsDriver::VarClearFn VarClear = nullptr;
};

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HMODULE LoadFrom(const std::wstring& file, const std::string& variant) {
  std::wstring path = BuildDirectory() + L"\\host\\" + file;
  const std::wstring altered =
      BuildDirectory() + L"\\host-variants\\" + std::wstring(variant.begin(), variant.end()) + L"\\" + file;
  if (!variant.empty() && FileExists(altered)) path = altered;
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) throw std::runtime_error("cannot load a stand-in package");
  return module;
}

TXml& Xml() {
  static TXml xml;
  if (!xml.Module) {
    xml.Rtl = GetModuleHandleW(L"rtl150.bpl");
    xml.Module = GetModuleHandleW(L"xmlrtl150.bpl");
    if (!xml.Rtl || !xml.Module) throw std::runtime_error("the stand-in packages are not loaded");
    using namespace XmlDriver;
    xml.Get = Bind<GetNodeValueFn>(xml.Module, Export::GetNodeValue);
    xml.Set = Bind<SetNodeValueFn>(xml.Module, Export::SetNodeValue);
    xml.NewNode = Bind<NewNodeFn>(xml.Module, Export::NewNode);
    xml.NodeText = Bind<NodeTextFn>(xml.Module, Export::NodeText);
    xml.FreeNode = Bind<FreeNodeFn>(xml.Module, Export::FreeNode);
    xml.UseXsd = Bind<uint8_t*>(xml.Module, Export::UseXSDBooleanStrings);
    xml.VarClear = VariantsDriver::Bind<VariantsDriver::VarClearFn>(xml.Rtl, VariantsDriver::Export::VarClear);
    reinterpret_cast<void(__stdcall*)()>(GetProcAddress(xml.Module, "Initialize"))();
  }
  return xml;
}

void Load(const std::string& variant = "") {
  LoadFrom(L"rtl150.bpl", "");
  LoadFrom(L"xmlrtl150.bpl", variant);
  Xml();
}

void Install(const std::wstring& disabled = L"") {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled.c_str());
  Quillmend::InstallXmlDocOptimization();
}

std::string Utf8(const std::wstring& text) {
  std::string out(size_t(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), int(out.size()), nullptr, nullptr);
  return out;
}

std::wstring NodeText(void* node) {
  wchar_t buffer[256];
  const int length = Xml().NodeText(node, buffer, 256);
  return std::wstring(buffer, size_t(length < 255 ? length : 255));
}

// What reading gives, into a result variable that held a string before.
std::string Read(const std::wstring& text) {
  if (!Xml().Get) return "no GetNodeValue";  // the build that lacks it
  void* node = Xml().NewNode(text.c_str());
  TVarData result{};
  result.VType = VariantsDriver::varUString;
  result.VUString = QmHost::LoadedHostRtl()->NewString(L"held before");
  Xml().Get(node, &result);
  std::string out = "type " + std::to_string(result.VType);
  if (result.VType == VT_BSTR) out += " " + Utf8(std::wstring(result.VOleStr, SysStringLen(result.VOleStr)));
  Xml().VarClear(&result);
  Xml().FreeNode(node);
  return out;
}

// The node's text after writing each value, with the XSD setting off and on.
std::vector<std::wstring> Written() {
  std::vector<std::wstring> texts;
  for (uint8_t xsd : {0, 1}) {
    *Xml().UseXsd = xsd;
    std::vector<TVarData> values(7);
    values[0].VType = VT_BOOL;
    values[0].VBoolean = VARIANT_TRUE;
    values[1].VType = VT_BOOL;
    values[1].VBoolean = VARIANT_FALSE;
    values[2].VType = VT_BSTR;
    values[2].VOleStr = SysAllocString(L"ole text \u0141");
    values[3].VType = VT_I4;
    values[3].VInteger = -42;
    values[4].VType = VT_NULL;
    values[5].VType = VariantsDriver::varUString;
    values[5].VUString = QmHost::LoadedHostRtl()->NewString(L"unicode text");
    values[6].VType = VT_R8;
    values[6].VDouble = 2.5;
    for (TVarData& value : values) {
      void* node = Xml().NewNode(L"before");
      Xml().Set(node, &value);
      texts.push_back(NodeText(node));
      Xml().FreeNode(node);
      Xml().VarClear(&value);
    }
  }
  *Xml().UseXsd = 0;
  return texts;
}

TEST(XmlNodeValues, ReadAsTheOriginalsReadAnEmptyTextAsNull) {
  Load();
  const std::vector<std::wstring> texts = {L"", L"text", L"\u0141\u00F3d\u017A", std::wstring(300, L'x')};
  std::vector<std::string> original;
  for (const std::wstring& text : texts) original.push_back(Read(text));
  EXPECT_EQ(original[0], "type 1");
  EXPECT_EQ(original[1], "type 8 text");
  Install();
  ASSERT_TRUE(Quillmend::IsPatchApplied(L"RTL.XMLDocOptimization"));
  for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(Read(texts[i]), original[i]) << i;
}

TEST(XmlNodeValues, WrittenAsTheOriginalsWriteBooleansWithTheSettingOnAndOff) {
  Load();
  const std::vector<std::wstring> original = Written();
  ASSERT_EQ(original.size(), 14u);
  EXPECT_EQ(original[0], L"True");
  EXPECT_EQ(original[7], L"true");
  EXPECT_EQ(original[8], L"false");
  EXPECT_EQ(original[4], L"");
  Install();
  ASSERT_TRUE(Quillmend::IsPatchApplied(L"RTL.XMLDocOptimization"));
  EXPECT_EQ(Written(), original);
}

// ---- three ways ------------------------------------------------------------------

const wchar_t* const XmlPatch = L"RTL.XMLDocOptimization";
const std::vector<TPatchRow> PatchRows = {{XmlPatch, {}}};
const std::vector<TVariantRow> VariantRows = {{"nogetnodevalue", {XmlPatch}}};

std::string Fingerprint() {
  std::string out;
  for (const std::wstring& text : {std::wstring(L""), std::wstring(L"abc")}) out += Read(text) + "|";
  for (const std::wstring& text : Written()) out += Utf8(text) + "|";
  return out;
}

const TThreeWaySubsystem& XmlSubsystem() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"xmlrtl150.bpl"},
      [] { Xml(); },
      [] { Quillmend::InstallXmlDocOptimization(); },
      [] { return Fingerprint(); },
      {XmlPatch},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(Xml, XmlSubsystem(), PatchRows, VariantRows)

}  // namespace
