// The form corpus (FormCorpus.txt, written by Oracle/make-form-corpus.py)
// and what Free Pascal's ObjectTextToBinary made of it (<build>/oracle/forms.txt).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace RtlTest {

struct TCorpusForm {
  std::string Name;
  std::string Text;  // from the line after "---- <name>" up to the next such line
};
std::vector<TCorpusForm> ReadFormCorpus();

struct TOracleForm {
  bool Error = false;
  std::string Binary;  // the bytes
  int Position = -1;   // Input's position afterwards
  std::string Text;    // the error's text
};
std::map<std::string, TOracleForm> ReadFormOracle();

// Bytes as lower-case hexadecimal, two digits each.
std::string Hex(const std::string& bytes);

}  // namespace RtlTest
