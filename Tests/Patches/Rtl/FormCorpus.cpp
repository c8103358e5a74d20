#include "FormCorpus.h"

#include <sstream>

#include "TestFiles.h"
#include "TestPaths.h"

namespace RtlTest {

namespace {

const std::string Marker = "---- ";

std::string OracleFile(const wchar_t* name) {
  return QuillmendTest::ReadFileBytes(BuildDirectory() + L"\\oracle\\" + name);
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

}  // namespace

std::vector<TCorpusForm> ReadFormCorpus() {
  const std::string bytes = OracleFile(L"FormCorpus.txt");
  std::vector<TCorpusForm> forms;
  size_t line = 0;
  while (line < bytes.size()) {
    size_t end = bytes.find('\n', line);
    if (end == std::string::npos) end = bytes.size();
    if (bytes.compare(line, Marker.size(), Marker) == 0) {
      size_t nameEnd = end > line && bytes[end - 1] == '\r' ? end - 1 : end;
      forms.push_back({bytes.substr(line + Marker.size(), nameEnd - line - Marker.size()), ""});
    } else if (!forms.empty()) {
      forms.back().Text += bytes.substr(line, std::min(end + 1, bytes.size()) - line);
    }
    line = end + 1;
  }
  return forms;
}

std::map<std::string, TOracleForm> ReadFormOracle() {
  std::map<std::string, TOracleForm> result;
  std::istringstream lines(OracleFile(L"forms.txt"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, binary;
    fields >> name >> binary;
    TOracleForm form;
    if (binary == "ERROR") {
      form.Error = true;
      std::getline(fields, form.Text);
    } else {
      form.Binary = FromHex(binary);
      fields >> form.Position;
    }
    result[name] = form;
  }
  return result;
}

std::string Hex(const std::string& bytes) {
  static const char Digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) {
    text += Digits[b >> 4];
    text += Digits[b & 15];
  }
  return text;
}

}  // namespace RtlTest
