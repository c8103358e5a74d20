// Ini scripts against the stand-in's TXmlIniFile (whatever class its
// NewInstance makes), for the tests, the benchmarks and bds.exe's ini
// workload: one step is an operation letter, a section, a key and a value
// (a default for reads), and gives the read's result as text.
//   W WriteString   D DeleteKey   E EraseSection   R ReadString(default)
//   I ReadInteger(default)   B ReadBool(default "0"/"1") → "0"/"1"
//   V ValueExists → "0"/"1"   S ReadSection   Q ReadSectionValues
//   T ReadSections (into a new list)   — lists as lines joined by "\n"
//   N WriteInteger   F WriteBool("0"/"1")   U UpdateFile
#pragma once

#include <windows.h>

#include <string>

#include "Common/HostRtl.h"
#include "XmlIniDriver.h"
#include "rtl150/IniFilesDriver.h"
#include "rtl150/StringListDriver.h"

namespace XmlIniScript {

class THost {
public:
  // Binds xmlrtl150.bpl's and rtl150.bpl's exports (both loaded); false if one is missing.
  bool Bind() {
    rtl_ = QmHost::LoadedHostRtl();
    HMODULE xml = GetModuleHandleW(L"xmlrtl150.bpl"), rtlModule = GetModuleHandleW(L"rtl150.bpl");
    using namespace XmlIniDriver;
    NewDocument = XmlIniDriver::Bind<NewDocumentFn>(xml, Export::NewDocument);
    LoadDocument = XmlIniDriver::Bind<LoadDocumentFn>(xml, Export::LoadDocument);
    SaveDocument = XmlIniDriver::Bind<SaveDocumentFn>(xml, Export::SaveDocument);
    ReleaseNode = XmlIniDriver::Bind<ReleaseNodeFn>(xml, Export::ReleaseNode);
    LiveNodes = XmlIniDriver::Bind<LiveNodesFn>(xml, Export::LiveNodes);
    create_ = XmlIniDriver::Bind<IniFileCreateFn>(xml, Export::IniFileCreate);
    iniClass_ = XmlIniDriver::Bind<void*>(xml, Export::IniFileClass);
    listClass_ = XmlIniDriver::Bind<void*>(rtlModule, StringListDriver::Export::Class);
    listCreate_ = XmlIniDriver::Bind<StringListDriver::CreateFn>(rtlModule, StringListDriver::Export::Create);
    listGet_ = XmlIniDriver::Bind<StringListDriver::GetFn>(rtlModule, StringListDriver::Export::Get);
    return rtl_ && NewDocument && LoadDocument && SaveDocument && ReleaseNode && LiveNodes && create_ && iniClass_ &&
           listClass_ && listCreate_ && listGet_;
  }

  // A TXmlIniFile over the element (the ini file holds its own reference).
  void* NewIni(void* root) const { return create_(iniClass_, 1, root); }
  void FreeIni(void* ini) const { rtl_->objectFree(ini); }
  void* IniClass() const { return iniClass_; }

  std::wstring Step(void* ini, wchar_t op, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value) const {
    using namespace IniFilesDriver;
    wchar_t* s = rtl_->NewString(section);
    wchar_t* k = rtl_->NewString(key);
    wchar_t* v = rtl_->NewString(value);
    std::wstring result;
    switch (op) {
      case L'W': Virtual<WriteStringFn>(ini, IniSlot::WriteString)(ini, s, k, v); break;
      case L'D': Virtual<DeleteKeyFn>(ini, IniSlot::DeleteKey)(ini, s, k); break;
      case L'E': Virtual<EraseSectionFn>(ini, IniSlot::EraseSection)(ini, s); break;
      case L'U': Virtual<UpdateFileFn>(ini, IniSlot::UpdateFile)(ini); break;
      case L'N': Virtual<WriteIntegerFn>(ini, IniSlot::WriteInteger)(ini, s, k, _wtoi(value.c_str())); break;
      case L'F': Virtual<WriteBoolFn>(ini, IniSlot::WriteBool)(ini, s, k, value == L"1"); break;
      case L'R': {
        wchar_t* text = nullptr;
        Virtual<ReadStringFn>(ini, IniSlot::ReadString)(ini, s, k, &text, v);
        result = Text(text);
        rtl_->Release(text);
        break;
      }
      case L'I':
        result = std::to_wstring(Virtual<ReadIntegerFn>(ini, IniSlot::ReadInteger)(ini, s, k, _wtoi(value.c_str())));
        break;
      case L'B': result = Virtual<ReadBoolFn>(ini, IniSlot::ReadBool)(ini, s, k, value == L"1") ? L"1" : L"0"; break;
      case L'V': result = Virtual<ValueExistsFn>(ini, IniSlot::ValueExists)(ini, s, k) ? L"1" : L"0"; break;
      case L'S':
      case L'Q':
      case L'T': {
        void* list = listCreate_(listClass_, 1);
        if (op == L'S') Virtual<ReadSectionFn>(ini, IniSlot::ReadSection)(ini, s, list);
        if (op == L'Q') Virtual<ReadSectionFn>(ini, IniSlot::ReadSectionValues)(ini, s, list);
        if (op == L'T') Virtual<ReadSectionsFn>(ini, IniSlot::ReadSections)(ini, list);
        result = Lines(list);
        rtl_->objectFree(list);
        break;
      }
      default: break;
    }
    rtl_->Release(s);
    rtl_->Release(k);
    rtl_->Release(v);
    return result;
  }

  // The list's lines joined by "\n"; its update count must be back at 0.
  std::wstring Lines(void* list) const {
    const int count = *reinterpret_cast<int*>(static_cast<char*>(list) + StringListDriver::Layout::Count);
    std::wstring lines;
    for (int i = 0; i < count; ++i) {
      wchar_t* line = nullptr;
      listGet_(list, i, &line);
      lines += (i ? L"\n" : L"") + Text(line);
      rtl_->Release(line);
    }
    if (*reinterpret_cast<int*>(static_cast<char*>(list) + IniFilesDriver::StringsLayout::UpdateCount) != 0)
      lines += L"\n<update count not 0>";
    return lines;
  }

  static std::wstring Text(const wchar_t* s) { return s ? std::wstring(s, size_t(QmHost::StrHeader(s)->length)) : std::wstring(); }

  XmlIniDriver::NewDocumentFn NewDocument = nullptr;
  XmlIniDriver::LoadDocumentFn LoadDocument = nullptr;
  XmlIniDriver::SaveDocumentFn SaveDocument = nullptr;
  XmlIniDriver::ReleaseNodeFn ReleaseNode = nullptr;
  XmlIniDriver::LiveNodesFn LiveNodes = nullptr;

private:
  const QmHost::HostRtl* rtl_ = nullptr;
  XmlIniDriver::IniFileCreateFn create_ = nullptr;
  void* iniClass_ = nullptr;
  void* listClass_ = nullptr;
  StringListDriver::CreateFn listCreate_ = nullptr;
  StringListDriver::GetFn listGet_ = nullptr;
};

}  // namespace XmlIniScript
