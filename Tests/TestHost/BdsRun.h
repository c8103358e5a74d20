// Runs the stand-in IDE from a test: a registry root of the test's own,
// bds.exe started as a separate process, its journal read back.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace QmHostTest {

std::wstring BuildDir();      // <build>\ (the test program lives in <build>\bin)
std::wstring HostDir();       // <build>\host\ .
std::wstring FixtureDir();    // <build>\testhost-fixtures\ .

// HKCU\Software\Embarcadero\<key>\8.0, created empty and deleted again.
class TestRoot {
public:
  explicit TestRoot(const std::wstring& regKey);
  ~TestRoot();
  const std::wstring& RegKey() const { return regKey_; }
  void SetValue(const std::wstring& subKey, const std::wstring& name, const std::wstring& data);

private:
  std::wstring regKey_;
};

struct BdsResult {
  unsigned exitCode = 0;
  std::vector<std::wstring> journal;   // escaped lines, as written
  bool Has(const std::wstring& line) const;
  // Index of the first line equal to line, or -1.
  int IndexOf(const std::wstring& line) const;
  // Lines that start with prefix.
  std::vector<std::wstring> Starting(const std::wstring& prefix) const;
};

// Runs "bds.exe -r<regKey> -journal <tmp> <args>" with extra environment
// variables; waits at most 60 s.
BdsResult RunBds(const std::wstring& regKey, const std::wstring& args,
                 const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});

} // namespace QmHostTest
