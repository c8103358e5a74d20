// Class completion, the model (ClassCompletion.h): the declaration is read
// into sections and members; every method member goes through
// ParseMethodOrAlias, every property's missing storage field is added to a
// private section through EnsureSection, and every parsed method is
// completed through ClassSymbolByPosition. The result is the class
// declaration as it then reads and an implementation stub per method.
#include "ClassCompletion.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "ClassCompletionDriver.h"
#include "Common/SearchedSites.h"

using namespace DelphiCore;

namespace {

struct TMember {
  std::string Text;  // as declared (trimmed)
  void* Symbol = nullptr;  // a parsed method's symbol
};
struct TSection {
  int32_t Access;
  bool Written;  // has its keyword line (the implicit one has none)
  std::vector<TMember> Members;
};

// A class symbol: sections, and the completion's scratch (names, symbols).
struct TClassModel {
  std::string Name, Parent;
  std::vector<TSection> Sections;
  std::deque<std::string> Strings;                  // every text handed out lives here
  std::vector<std::unique_ptr<uint8_t[]>> Symbols;  // the method symbols
  std::vector<void*> Methods;                       // parsed, in order
  std::vector<std::string> Output;                  // what the completer emitted
  // The member ParseMethodOrAlias looks at.
  const TMember* Current = nullptr;
  uint8_t CurrentKind = 0;
  const char* CurrentName = nullptr;
};

TClassModel* g_model = nullptr;  // the completion running (on the main thread)

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

const char* Keep(const std::string& text) {
  g_model->Strings.push_back(text);
  return g_model->Strings.back().c_str();
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t a = 0, b = text.size();
  while (a < b && std::isspace(static_cast<unsigned char>(text[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(text[b - 1]))) --b;
  return text.substr(a, b - a);
}

bool StartsWith(const std::string& text, const char* prefix) {
  return Lower(text.substr(0, std::strlen(prefix))) == prefix;
}

// The reserved words the classifier knows, with their tokens.
struct TReserved {
  const char* Word;
  uint8_t Token;
};
const TReserved ReservedWords[] = {{"and", 130}, {"begin", 131}, {"div", 133}, {"end", 134}, {"in", 138},
                                   {"is", 139},  {"mod", 140},   {"not", 141}, {"or", 142},  {"xor", 143}};

uint8_t ReservedToken(const char* text) {
  const std::string lower = Lower(text ? text : "");
  for (const TReserved& r : ReservedWords)
    if (lower == r.Word) return r.Token;
  return 0;
}

// A method declaration's kind and name, or kind 0.
uint8_t MethodKind(const std::string& text, std::string& name, std::string& params) {
  static const struct {
    const char* Prefix;
    uint8_t Kind;
  } kinds[] = {{"class operator ", KindOperator}, {"class function ", KindClassFunction}, {"procedure ", KindProcedure},
               {"function ", KindFunction},       {"constructor ", KindConstructor}};
  for (const auto& k : kinds) {
    if (!StartsWith(text, k.Prefix)) continue;
    const std::string rest = text.substr(std::strlen(k.Prefix));
    size_t end = 0;
    while (end < rest.size() && (std::isalnum(static_cast<unsigned char>(rest[end])) || rest[end] == '_' || rest[end] == '&'))
      ++end;
    name = rest.substr(0, end);
    params = rest.substr(end);
    if (!params.empty() && params.back() == ';') params.pop_back();
    return k.Kind;
  }
  return 0;
}

const char* KindText(uint8_t kind) {
  switch (kind & 0x0F) {
    case KindOperator: return "class operator ";
    case KindClassFunction: return "class function ";
    case KindFunction: return "function ";
    case KindConstructor: return "constructor ";
    default: return "procedure ";
  }
}

const char* AccessText(int32_t access) {
  static const char* const texts[] = {"private", "protected", "public", "published"};
  return access >= 0 && access < 4 ? texts[access] : "";
}

bool IsPersistent(const TClassModel& model) {
  const std::string parent = Lower(model.Parent);
  return parent == "tpersistent" || parent == "tcomponent" || parent == "tform";
}

}  // namespace

extern "C" {

const char** delphicore_NameVariable = nullptr;
const char delphicore_Ampersand[] = "&";

uint32_t QM_HOST_REGISTER DelphiTokenKind(void*, int32_t) {
  // The host stores one byte: the rest of EAX is whatever the lexer left there.
  return 0x7F3C0000u | g_model->CurrentKind;
}

uint32_t QM_HOST_REGISTER DelphiClassify(const char* text) {
  const uint8_t token = ReservedToken(text);
  return 0x5A5A0000u | (token ? token : ClassIdentifier);
}

uint32_t QM_HOST_REGISTER DelphiIsReserved(const char* text) { return 0x3C3C3C00u | (ReservedToken(text) ? 1 : 0); }
uint32_t QM_HOST_REGISTER DelphiIsReservedCopy(const char* text) { return DelphiIsReserved(text); }

void QM_HOST_REGISTER DelphiNotAName(const char*, int32_t* rejected) { *rejected = 1; }

const char* QM_HOST_REGISTER DelphiMemberName(void*) { return g_model->CurrentName; }

void QM_HOST_REGISTER DelphiAddMethod(void*, void*, int32_t kind) {
  std::string name, params;
  MethodKind(g_model->Current->Text, name, params);
  auto symbol = std::make_unique<uint8_t[]>(SymbolLayout::Size);
  symbol[SymbolLayout::Kind] = uint8_t(kind & 0x0F);
  Field<const char*>(symbol.get(), SymbolLayout::Name) = Keep(name);
  Field<const char*>(symbol.get(), SymbolLayout::Params) = Keep(params);
  const_cast<TMember*>(g_model->Current)->Symbol = symbol.get();
  g_model->Methods.push_back(symbol.get());
  g_model->Symbols.push_back(std::move(symbol));
}

void* QM_HOST_REGISTER DelphiSymbolAt(void*, int32_t position) {
  return position >= 0 && size_t(position) < g_model->Methods.size() ? g_model->Methods[size_t(position)] : nullptr;
}

const char* QM_HOST_REGISTER DelphiSymbolName(void* symbol) { return Field<const char*>(symbol, SymbolLayout::Name); }

void QM_HOST_REGISTER DelphiStrCat3(const char** dest, const char* a, const char* b) {
  *dest = Keep(std::string(a ? a : "") + (b ? b : ""));
}

void QM_HOST_REGISTER DelphiFormatDeclaration(void* symbol, char* buffer, int32_t) {
  const std::string text = std::string(KindText(Field<uint8_t>(symbol, 0))) + *delphicore_NameVariable +
                           Field<const char*>(symbol, SymbolLayout::Params) + ";";
  std::strncpy(buffer, text.c_str(), 0xFFF)[0xFFF] = 0;
}

void QM_HOST_REGISTER DelphiFormatImplementation(void* symbol, char* buffer, int32_t) {
  const std::string text = std::string(KindText(Field<uint8_t>(symbol, 0))) + g_model->Name + "." +
                           *delphicore_NameVariable + Field<const char*>(symbol, SymbolLayout::Params) + ";";
  std::strncpy(buffer, text.c_str(), 0xFFF)[0xFFF] = 0;
}

void QM_HOST_REGISTER DelphiEmit(void*, const char* text) { g_model->Output.push_back(text); }

int32_t QM_HOST_REGISTER DelphiFindSection(void* classSymbol, int32_t access) {
  const auto& sections = static_cast<TClassModel*>(classSymbol)->Sections;
  for (size_t i = 0; i < sections.size(); ++i)
    if (sections[i].Access == access) return int32_t(i);
  return -1;
}

int32_t QM_HOST_REGISTER DelphiPersistentMinimum(void* classSymbol) {
  return IsPersistent(*static_cast<TClassModel*>(classSymbol)) ? 1 : 0;
}

int32_t QM_HOST_REGISTER DelphiCountSections(void* classSymbol, int32_t access) {
  int32_t count = 0;
  for (const TSection& s : static_cast<TClassModel*>(classSymbol)->Sections) count += s.Access == access;
  return count;
}

int32_t QM_HOST_REGISTER DelphiAddSection(void*, void* classSymbol, int32_t access) {
  auto& sections = static_cast<TClassModel*>(classSymbol)->Sections;
  sections.push_back(TSection{access, true, {}});
  return int32_t(sections.size()) - 1;
}

// ---- driver (ClassCompletionDriver.h) ---------------------------------------------

int32_t __stdcall DelphiCompleteClass(const char* declaration, char* output, int32_t size) {
  TClassModel model;
  g_model = &model;
  // The header line: "TName = class(TParent)".
  std::vector<std::string> lines;
  const std::string text = declaration ? declaration : "";
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(Trim(text.substr(start, end - start)));
    start = end + 1;
  }
  if (lines.empty()) return -1;
  const std::string& header = lines[0];
  model.Name = Trim(header.substr(0, header.find('=')));
  const size_t open = header.find('('), close = header.find(')');
  if (open != std::string::npos && close != std::string::npos) model.Parent = header.substr(open + 1, close - open - 1);
  model.Sections.push_back(TSection{acImplicit, false, {}});
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || Lower(line) == "end;") continue;
    bool keyword = false;
    for (int32_t a = acPrivate; a <= acPublished; ++a)
      if (Lower(line) == AccessText(a)) {
        model.Sections.push_back(TSection{a, true, {}});
        keyword = true;
      }
    if (!keyword) model.Sections.back().Members.push_back(TMember{line});
  }
  // Parse the methods.
  uint8_t manager[ClassManagerLayout::Size] = {};
  for (TSection& section : model.Sections)
    for (TMember& member : section.Members) {
      std::string name, params;
      const uint8_t kind = MethodKind(member.Text, name, params);
      if (!kind) continue;
      model.Current = &member;
      model.CurrentKind = kind;
      model.CurrentName = Keep(name);
      DelphiParseMethodOrAlias(manager, &model, section.Access);
    }
  // Missing storage fields of properties go to a private section.
  uint8_t updater[CodeUpdaterLayout::Size] = {};
  Field<int32_t>(updater, CodeUpdaterLayout::PublishImplicit) = 1;
  std::vector<std::string> fields;
  for (const TSection& section : model.Sections)
    for (const TMember& member : section.Members) {
      if (!StartsWith(member.Text, "property ")) continue;
      const size_t read = Lower(member.Text).find(" read ");
      if (read == std::string::npos) continue;
      std::string field = member.Text.substr(read + 6);
      field = field.substr(0, field.find_first_of(" ;"));
      const size_t colon = member.Text.find(':');
      std::string type = member.Text.substr(colon + 1, read - colon - 1);
      fields.push_back(field + ": " + Trim(type) + ";");
    }
  for (const std::string& field : fields) {
    const int32_t index = DelphiEnsureSection(updater, &model, acPrivate, 0);
    if (index >= 0) model.Sections[size_t(index)].Members.push_back(TMember{field});
  }
  // Complete every parsed method.
  uint8_t completer[16] = {};
  for (size_t i = 0; i < model.Methods.size(); ++i) DelphiClassSymbolByPosition(completer, int32_t(i));
  // The result: the declaration as it now reads, then the stubs.
  // Each completed method emitted two texts: its declaration, then its implementation header.
  auto declarationOf = [&model](const TMember& member) -> std::string {
    const auto at = std::find(model.Methods.begin(), model.Methods.end(), member.Symbol);
    const size_t index = 2 * size_t(at - model.Methods.begin());
    return member.Symbol && index < model.Output.size() ? model.Output[index] : member.Text;
  };
  std::string result = header + "\n";
  for (const TSection& section : model.Sections) {
    if (section.Written) result += std::string("  ") + AccessText(section.Access) + "\n";
    for (const TMember& member : section.Members) result += "    " + declarationOf(member) + "\n";
  }
  result += "  end;\n";
  for (size_t i = 1; i < model.Output.size(); i += 2) result += "\n" + model.Output[i] + "\nbegin\nend;\n";
  g_model = nullptr;
  if (output && size > 0) {
    std::strncpy(output, result.c_str(), size_t(size - 1));
    output[size - 1] = 0;
  }
  return int32_t(result.size());
}

const QmHost::SearchedSite* __stdcall DelphiCorePatternSites(int* count) { return QmHost::SearchedSites(count); }

uint32_t __stdcall DelphiClassifyText(const char* text) { return DelphiClassify(text) & 0xFF; }
uint32_t __stdcall DelphiIsReservedText(const char* text) { return DelphiIsReserved(text) & 0xFF; }

}  // extern "C"

namespace D = ClassCompletionDriver;
static_assert(std::is_same_v<decltype(&DelphiCompleteClass), D::CompleteClassFn> &&
                  std::is_same_v<decltype(&DelphiClassifyText), D::TextFn> &&
                  std::is_same_v<decltype(&DelphiIsReservedText), D::TextFn>,
              "exports differ from ClassCompletionDriver.h");
