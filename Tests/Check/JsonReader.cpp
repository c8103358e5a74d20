#include "JsonReader.h"

#include <cstdlib>
#include <cstring>

namespace {

const TJson NullValue;

struct TReader {
  const std::string& Text;
  size_t At = 0;
  std::string Error;

  bool Fail(const char* what) {
    if (Error.empty()) Error = std::string(what) + " at offset " + std::to_string(At);
    return false;
  }
  void Blanks() {
    while (At < Text.size() && std::strchr(" \t\r\n", Text[At]) && Text[At]) ++At;
  }
  bool Literal(const char* word) {
    const size_t n = std::strlen(word);
    if (Text.compare(At, n, word) != 0) return Fail("unknown literal");
    At += n;
    return true;
  }
  static void Append(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += char(code);
    } else if (code < 0x800) {
      out += char(0xC0 | code >> 6), out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += char(0xE0 | code >> 12), out += char(0x80 | (code >> 6 & 0x3F)), out += char(0x80 | (code & 0x3F));
    } else {
      out += char(0xF0 | code >> 18), out += char(0x80 | (code >> 12 & 0x3F));
      out += char(0x80 | (code >> 6 & 0x3F)), out += char(0x80 | (code & 0x3F));
    }
  }
  bool Hex4(unsigned& code) {
    if (At + 4 > Text.size()) return Fail("short \\u escape");
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = Text[At++];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return Fail("bad \\u escape");
      code = code * 16 + unsigned(digit);
    }
    return true;
  }
  bool StringBody(std::string& out) {
    ++At;  // the opening quote
    while (At < Text.size()) {
      const char c = Text[At++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (At >= Text.size()) break;
      const char e = Text[At++];
      const char* simple = std::strchr("\"\\/bfnrt", e);
      if (simple && e) {
        out += "\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"];
      } else if (e == 'u') {
        unsigned code = 0;
        if (!Hex4(code)) return false;
        if (code >= 0xD800 && code < 0xDC00) {
          unsigned low = 0;
          if (Text.compare(At, 2, "\\u") != 0 || (At += 2, !Hex4(low)) || low < 0xDC00 || low > 0xDFFF)
            return Fail("lone surrogate");
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        Append(out, code);
      } else {
        return Fail("bad escape");
      }
    }
    return Fail("unterminated string");
  }
  bool NumberBody(double& out) {
    const size_t start = At;
    if (Text[At] == '-') ++At;
    auto digits = [&] {
      const size_t from = At;
      while (At < Text.size() && Text[At] >= '0' && Text[At] <= '9') ++At;
      return At - from;
    };
    const size_t first = At;
    const size_t whole = digits();
    if (whole == 0 || (whole > 1 && Text[first] == '0')) return Fail("bad number");
    if (At < Text.size() && Text[At] == '.' && (++At, digits() == 0)) return Fail("bad fraction");
    if (At < Text.size() && (Text[At] == 'e' || Text[At] == 'E')) {
      ++At;
      if (At < Text.size() && (Text[At] == '+' || Text[At] == '-')) ++At;
      if (digits() == 0) return Fail("bad exponent");
    }
    out = std::strtod(Text.substr(start, At - start).c_str(), nullptr);
    return true;
  }
  bool Value(TJson& value, int depth) {
    if (depth > 64) return Fail("nested too deeply");
    Blanks();
    if (At >= Text.size()) return Fail("value expected");
    const char c = Text[At];
    if (c == '{') {
      value.Kind = TJson::Object;
      ++At;
      Blanks();
      if (At < Text.size() && Text[At] == '}') return ++At, true;
      while (true) {
        Blanks();
        std::string name;
        if (At >= Text.size() || Text[At] != '"' || !StringBody(name)) return Fail("member name expected");
        Blanks();
        if (At >= Text.size() || Text[At++] != ':') return Fail("':' expected");
        if (value.Members.count(name)) return Fail("member named twice");
        if (!Value(value.Members[name], depth + 1)) return false;
        Blanks();
        if (At < Text.size() && Text[At] == ',') { ++At; continue; }
        if (At < Text.size() && Text[At] == '}') return ++At, true;
        return Fail("',' or '}' expected");
      }
    }
    if (c == '[') {
      value.Kind = TJson::Array;
      ++At;
      Blanks();
      if (At < Text.size() && Text[At] == ']') return ++At, true;
      while (true) {
        value.Items.emplace_back();
        if (!Value(value.Items.back(), depth + 1)) return false;
        Blanks();
        if (At < Text.size() && Text[At] == ',') { ++At; continue; }
        if (At < Text.size() && Text[At] == ']') return ++At, true;
        return Fail("',' or ']' expected");
      }
    }
    if (c == '"') return value.Kind = TJson::String, StringBody(value.Text);
    if (c == 't') return value.Kind = TJson::Boolean, value.Bool = true, Literal("true");
    if (c == 'f') return value.Kind = TJson::Boolean, Literal("false");
    if (c == 'n') return Literal("null");
    if (c == '-' || (c >= '0' && c <= '9')) return value.Kind = TJson::Number, NumberBody(value.Value);
    return Fail("value expected");
  }
};

}  // namespace

const TJson& TJson::operator[](const std::string& name) const {
  auto found = Members.find(name);
  return found == Members.end() ? NullValue : found->second;
}

const TJson& TJson::operator[](size_t index) const { return index < Items.size() ? Items[index] : NullValue; }

bool ParseJson(const std::string& text, TJson& value, std::string& error) {
  TReader reader{text, 0, {}};
  value = TJson();
  bool ok = reader.Value(value, 0);
  if (ok) {
    reader.Blanks();
    if (reader.At != text.size()) ok = reader.Fail("text after the document");
  }
  error = reader.Error;
  return ok;
}
