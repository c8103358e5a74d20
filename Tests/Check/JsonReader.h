// A strict reader of JSON documents (RFC 8259) for tests that read the
// check's /JSON output back: anything malformed is an error, not a guess.
#pragma once

#include <map>
#include <string>
#include <vector>

struct TJson {
  enum TKind { Null, Boolean, Number, String, Array, Object } Kind = Null;
  bool Bool = false;
  double Value = 0;
  std::string Text;  // UTF-8
  std::vector<TJson> Items;
  std::map<std::string, TJson> Members;

  // A member or item; a null value when absent.
  const TJson& operator[](const std::string& name) const;
  const TJson& operator[](size_t index) const;
};

// False with `error` set (and the offset) when the text is not one JSON document.
bool ParseJson(const std::string& text, TJson& value, std::string& error);
