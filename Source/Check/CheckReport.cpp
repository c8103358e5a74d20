#include "Check/CheckReport.h"

#include <algorithm>
#include <cstdio>

#include "Hooking/Utf8Conversion.h"

namespace Quillmend {

namespace {

std::wstring Number(unsigned long long value) {
  std::wstring digits = std::to_wstring(value), text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) text += L',';
    text += digits[i];
  }
  return text;
}

std::wstring VerdictLine(const TPatchCheck& patch) {
  switch (patch.Verdict) {
    case TCheckVerdict::Fails:
    case TCheckVerdict::Ignored:
      return std::wstring(VerdictText(patch.Verdict)) + L": " + patch.Reason;
    case TCheckVerdict::NeedsRunningIde:
      return std::wstring(VerdictText(patch.Verdict)) + (patch.Reason.empty() ? L"" : L" (" + patch.Reason + L")");
    default:
      return VerdictText(patch.Verdict);
  }
}

std::wstring ModuleLine(const TModuleEntry& module) {
  std::wstring line = L"module " + module.Name + L": ";
  switch (module.State) {
    case TModuleState::Missing:
      return line + module.Problem;
    case TModuleState::Unusable:
      return line + module.Problem + L", " + module.Path;
    default:
      break;
  }
  const std::wstring& version = module.Image->Version();
  return line + (version.empty() ? L"no version resource" : L"version " + version) + L", " +
         Number(module.Image->FileSize()) + L" bytes, " + module.Path;
}

const char* StateText(TModuleState state) {
  switch (state) {
    case TModuleState::Image: return "opened";
    case TModuleState::System: return "system";
    case TModuleState::Missing: return "missing";
    case TModuleState::Unusable: return "unusable";
  }
  return "?";
}

} // namespace

std::string JsonString(const std::wstring& text) {
  std::string json = "\"";
  for (char c : ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (c == '\n') {
      json += "\\n";
    } else if (c == '\r') {
      json += "\\r";
    } else if (c == '\t') {
      json += "\\t";
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      json += escape;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

std::wstring CheckText(const TCheckedIde& ide, const TIdeCheck& check, const TIdeModules& modules) {
  size_t width = 0;
  for (const TPatchCheck& patch : check.Patches) width = std::max(width, patch.Name.size());
  std::wstring text;
  for (const TPatchCheck& patch : check.Patches)
    text += patch.Name + std::wstring(width + 2 - patch.Name.size(), L' ') + VerdictLine(patch) + L"\r\n";
  text += std::to_wstring(check.Patches.size()) + L" patches: " +
          std::to_wstring(check.Count(TCheckVerdict::Applies)) + L" apply, " +
          std::to_wstring(check.Count(TCheckVerdict::Fails)) + L" fail, " +
          std::to_wstring(check.Count(TCheckVerdict::NeedsRunningIde)) + L" need the running IDE, " +
          std::to_wstring(check.Count(TCheckVerdict::Disabled)) + L" disabled";
  if (size_t ignored = check.Count(TCheckVerdict::Ignored)) text += L", " + std::to_wstring(ignored) + L" ignored";
  text += L"\r\n";
  text += L"IDE root: " + ide.RootDir + L" (" + ide.RootKey + L")\r\n";
  for (const TModuleEntry* module : modules.IdeModules()) text += ModuleLine(*module) + L"\r\n";
  for (const std::wstring& error : check.Errors) text += L"error: " + error + L"\r\n";
  return text;
}

std::string CheckJson(const TCheckedIde& ide, const TIdeCheck& check, const TIdeModules& modules) {
  std::string json = "{\n";
  json += "  \"regKey\": " + JsonString(ide.RegKey) + ",\n";
  json += "  \"rootKey\": " + JsonString(ide.RootKey) + ",\n";
  json += "  \"root\": " + JsonString(ide.RootDir) + ",\n";
  json += "  \"bin\": " + JsonString(ide.BinDir) + ",\n";
  json += "  \"patches\": [";
  for (size_t i = 0; i < check.Patches.size(); ++i) {
    const TPatchCheck& patch = check.Patches[i];
    json += i ? ",\n    " : "\n    ";
    json += "{\"name\": " + JsonString(patch.Name) + ", \"description\": " + JsonString(patch.Description) +
            ", \"verdict\": " + JsonString(VerdictText(patch.Verdict)) + ", \"reason\": " + JsonString(patch.Reason) +
            "}";
  }
  json += check.Patches.empty() ? "],\n" : "\n  ],\n";
  const auto count = [&](TCheckVerdict verdict) { return std::to_string(check.Count(verdict)); };
  json += "  \"summary\": {\"patches\": " + std::to_string(check.Patches.size()) +
          ", \"applies\": " + count(TCheckVerdict::Applies) + ", \"fails\": " + count(TCheckVerdict::Fails) +
          ", \"needsRunningIde\": " + count(TCheckVerdict::NeedsRunningIde) +
          ", \"disabled\": " + count(TCheckVerdict::Disabled) + ", \"ignored\": " + count(TCheckVerdict::Ignored) +
          "},\n";
  json += "  \"modules\": [";
  const std::vector<const TModuleEntry*> looked = modules.IdeModules();
  for (size_t i = 0; i < looked.size(); ++i) {
    const TModuleEntry& module = *looked[i];
    json += i ? ",\n    " : "\n    ";
    json += "{\"name\": " + JsonString(module.Name) + ", \"state\": \"" + StateText(module.State) + "\"" +
            ", \"path\": " + JsonString(module.Path);
    if (module.State == TModuleState::Image) {
      json += ", \"version\": " + (module.Image->Version().empty() ? std::string("null") : JsonString(module.Image->Version()));
      json += ", \"fileSize\": " + std::to_string(module.Image->FileSize());
    } else {
      json += ", \"problem\": " + JsonString(module.Problem);
    }
    json += "}";
  }
  json += looked.empty() ? "],\n" : "\n  ],\n";
  json += "  \"errors\": [";
  for (size_t i = 0; i < check.Errors.size(); ++i) json += (i ? ", " : "") + JsonString(check.Errors[i]);
  json += "]\n}\n";
  return json;
}

} // namespace Quillmend
