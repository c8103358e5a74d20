// The document as XML text: UTF-8 with a declaration, the nodes as they are
// (no indentation of the writer's own: the blank text nodes are the
// layout), and a reader for that text that keeps every text node.
#include <string>

#include "XmlIniDriver.h"
#include "XmlNodes.h"

namespace XmlRtl {

namespace {

using XmlIniDriver::ElementNode;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], size);
  return out;
}

std::string Escaped(const std::wstring& text, bool attribute) {
  std::string out;
  for (char c : Utf8(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += attribute ? "&quot;" : "\""; break;
      case '\r': out += attribute ? "&#13;" : "\r"; break;
      case '\n': out += attribute ? "&#10;" : "\n"; break;
      case '\t': out += attribute ? "&#9;" : "\t"; break;
      default: out += c;
    }
  }
  return out;
}

void Write(const TXmlNode* node, std::string& out) {
  if (node->Type != ElementNode) {
    out += Escaped(node->Text, false);
    return;
  }
  const std::string name = Utf8(node->Name);
  out += "<" + name;
  for (const auto& attribute : node->Attributes) out += " " + Utf8(attribute.first) + "=\"" + Escaped(attribute.second, true) + "\"";
  if (node->Children.empty()) {
    out += "/>";
    return;
  }
  out += ">";
  for (const TXmlNode* child : node->Children) Write(child, out);
  out += "</" + name + ">";
}

class TReader {
public:
  explicit TReader(const std::string& text) : FText(text) {}

  TXmlNode* Document() {
    if (FText.compare(0, 3, "\xEF\xBB\xBF") == 0) FAt = 3;
    SkipMisc();
    if (!Peek('<')) return nullptr;
    TXmlNode* root = Element(0);
    if (!root) return nullptr;
    SkipMisc();
    if (FAt != FText.size()) {
      ReleaseNode(root);
      return nullptr;
    }
    return root;
  }

private:
  bool Peek(char c) const { return FAt < FText.size() && FText[FAt] == c; }
  bool StartsWith(const char* s) const { return FText.compare(FAt, std::char_traits<char>::length(s), s) == 0; }

  // Blanks, the declaration, processing instructions and comments outside the root.
  void SkipMisc() {
    for (;;) {
      while (FAt < FText.size() && (FText[FAt] == ' ' || FText[FAt] == '\t' || FText[FAt] == '\r' || FText[FAt] == '\n')) ++FAt;
      if (StartsWith("<?")) FAt = Skip("?>");
      else if (StartsWith("<!--")) FAt = Skip("-->");
      else return;
    }
  }
  size_t Skip(const char* end) {
    const size_t at = FText.find(end, FAt);
    return at == std::string::npos ? FText.size() : at + std::char_traits<char>::length(end);
  }

  bool IsNameChar(char c) const {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' ||
           c == ':' || (c & 0x80);
  }
  std::string Name() {
    const size_t start = FAt;
    while (FAt < FText.size() && IsNameChar(FText[FAt])) ++FAt;
    return FText.substr(start, FAt - start);
  }

  // Character data up to `stop`, references resolved; false for a bad one.
  bool Characters(char stop, std::wstring& out) {
    std::string bytes;
    while (FAt < FText.size() && FText[FAt] != stop) {
      if (FText[FAt] != '&') {
        bytes += FText[FAt++];
        continue;
      }
      const size_t end = FText.find(';', FAt);
      if (end == std::string::npos) return false;
      const std::string ref = FText.substr(FAt + 1, end - FAt - 1);
      FAt = end + 1;
      if (ref == "amp") bytes += '&';
      else if (ref == "lt") bytes += '<';
      else if (ref == "gt") bytes += '>';
      else if (ref == "quot") bytes += '"';
      else if (ref == "apos") bytes += '\'';
      else if (ref.size() > 1 && ref[0] == '#') {
        const unsigned long code = ref[1] == 'x' ? std::stoul(ref.substr(2), nullptr, 16) : std::stoul(ref.substr(1));
        out += Wide(bytes);
        bytes.clear();
        if (code > 0xFFFF) {
          out += wchar_t(0xD800 + ((code - 0x10000) >> 10));
          out += wchar_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
          out += wchar_t(code);
        }
      } else {
        return false;
      }
    }
    out += Wide(bytes);
    return true;
  }

  TXmlNode* Element(int depth) {
    ++FAt;  // '<'
    TXmlNode* node = NewElement(Wide(Name()), depth, true);
    if (node->Name.empty()) return Fail(node);
    for (;;) {
      while (FAt < FText.size() && (FText[FAt] == ' ' || FText[FAt] == '\t' || FText[FAt] == '\r' || FText[FAt] == '\n')) ++FAt;
      if (StartsWith("/>")) {
        FAt += 2;
        return node;
      }
      if (Peek('>')) {
        ++FAt;
        break;
      }
      const std::wstring name = Wide(Name());
      if (name.empty() || !Peek('=')) return Fail(node);
      ++FAt;
      if (!Peek('"') && !Peek('\'')) return Fail(node);
      const char quote = FText[FAt++];
      std::wstring value;
      if (!Characters(quote, value) || !Peek(quote)) return Fail(node);
      ++FAt;
      node->Attributes.emplace_back(name, value);
    }
    for (;;) {
      if (FAt >= FText.size()) return Fail(node);
      if (StartsWith("</")) {
        FAt += 2;
        if (Wide(Name()) != node->Name || !Peek('>')) return Fail(node);
        ++FAt;
        return node;
      }
      if (StartsWith("<!--")) {
        FAt = Skip("-->");
      } else if (Peek('<')) {
        TXmlNode* child = Element(depth + 1);
        if (!child) return Fail(node);
        node->Children.push_back(child);
      } else {
        std::wstring text;
        if (!Characters('<', text)) return Fail(node);
        node->Children.push_back(NewTextNode(text));
      }
    }
  }

  TXmlNode* Fail(TXmlNode* node) {
    ReleaseNode(node);
    return nullptr;
  }

  const std::string& FText;
  size_t FAt = 0;
};

}  // namespace

std::string WriteDocument(const TXmlNode* root) {
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
  Write(root, out);
  out += "\r\n";
  return out;
}

TXmlNode* ReadDocument(const std::string& utf8) {
  try {
    return TReader(utf8).Document();
  } catch (...) {  // a character reference out of range
    return nullptr;
  }
}

}  // namespace XmlRtl
