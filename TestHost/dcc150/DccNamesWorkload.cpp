// bds.exe workload "dccnames": a unit's names read the way the compiler
// reads them, one after the other through its name reader; every 50th name
// in the long form (length byte 255, a 32-bit length).
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccNamesDriver.h"

namespace QmHost {

namespace {

int RunDccNames(HostApp& app, const std::vector<std::wstring>& args) {
  int count = 1000000, length = 16;
  if (args.size() > 0) count = _wtoi(args[0].c_str());
  if (args.size() > 1) length = _wtoi(args[1].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  auto readNames = reinterpret_cast<DccNamesDriver::ReadNamesFn>(
      reinterpret_cast<void*>(dcc ? GetProcAddress(dcc, DccNamesDriver::Export::ReadNames) : nullptr));
  if (!readNames || count < 0 || length < 0 || length > 1000) {
    app.Log(L"WORKLOAD-ERROR dccnames: bad arguments, or dcc150.dll or its name reader is missing");
    return 2;
  }
  std::vector<uint8_t> data;
  data.reserve(size_t(count) * size_t(length + 5));
  for (int i = 0; i < count; ++i) {
    if (i % 50 == 0 || length >= 255) {
      data.push_back(255);
      const int32_t n = length;
      data.insert(data.end(), reinterpret_cast<const uint8_t*>(&n), reinterpret_cast<const uint8_t*>(&n) + 4);
    } else {
      data.push_back(uint8_t(length));
    }
    for (int c = 0; c < length; ++c) data.push_back(uint8_t('A' + (i * 7 + c) % 26));
  }
  const auto began = std::chrono::steady_clock::now();
  const uint32_t checksum = readNames(data.data(), count, length + 1);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  wchar_t text[32];
  std::swprintf(text, 32, L"%.3f", ms);
  app.Log(L"DCC-NAMES count=" + std::to_wstring(count) + L" length=" + std::to_wstring(length) + L" ms=" + text +
          L" checksum=" + Hex(checksum));
  return 0;
}

const WorkloadRegistration kRegistration{L"dccnames", RunDccNames, L"dccnames [<count> <length>]"};

}  // namespace

}  // namespace QmHost
