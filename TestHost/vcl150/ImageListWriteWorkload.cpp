// An image list's data written, read into a new list, written again, read
// into a third list and written once more, as a form saved, reopened and
// saved again stores it. Journal: "IMAGELIST-DATA images=<n> bytes=<size>
// capacity=<+6 of the three writes> step=<+8 of the three> stable=<0|1>
// pixels=<1 when the last list holds the first one's images>".
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "rtl150/ConversionsDriver.h"
#include "vcl150/ImageListStreamDriver.h"
#include "vcl150/VclDriver.h"

namespace QmHost {

namespace {

uint16_t Field16(const std::string& bytes, size_t offset) {
  uint16_t value = 0;
  if (bytes.size() >= offset + 2) std::memcpy(&value, bytes.data() + offset, 2);
  return value;
}

int RunImageListData(HostApp& app, const std::vector<std::wstring>& args) {
  int images = 1;
  if (args.size() > 1 || (args.size() == 1 && (images = _wtoi(args[0].c_str())) < 1) || images > 1000) {
    app.Log(L"WORKLOAD-ERROR imagelistdata: expected [<images>] (1 to 1000)");
    return 2;
  }
  HMODULE vcl = GetModuleHandleW(L"vcl150.bpl");
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  VclDriver::Driver lists;
  ImageListStreamDriver::Driver streams;
  auto objectCreate = reinterpret_cast<RtlConversions::CreateFn>(
      reinterpret_cast<void*>(rtl ? GetProcAddress(rtl, RtlConversionExport::ObjectCreate) : nullptr));
  void* memoryStreamClass =
      reinterpret_cast<void*>(rtl ? GetProcAddress(rtl, RtlConversionExport::MemoryStreamClass) : nullptr);
  if (!vcl || !lists.Bind(vcl) || !streams.Bind(vcl) || !objectCreate || !memoryStreamClass) {
    app.Log(L"WORKLOAD-ERROR imagelistdata: vcl150.bpl or rtl150.bpl lacks what it needs");
    return 2;
  }
  auto write = [&](void* list) {
    void* stream = objectCreate(memoryStreamClass, 1);
    streams.WriteData(list, stream);
    std::string bytes = MemoryStreamBytes(stream);
    lists.Free(stream);
    return bytes;
  };
  auto readNew = [&](const std::string& bytes) {
    void* stream = objectCreate(memoryStreamClass, 1);
    FillMemoryStream(stream, bytes);
    void* list = lists.NewImageList(16, 16);
    streams.ReadData(list, stream);
    lists.Free(stream);
    return list;
  };
  void* first = lists.NewImageList(16, 16);
  for (int i = 0; i < images; ++i) lists.ImageListAddSample(first, unsigned(i + 1));
  std::string data[3];
  data[0] = write(first);
  void* second = readNew(data[0]);
  data[1] = write(second);
  void* third = readNew(data[1]);
  data[2] = write(third);
  unsigned pixels[2] = {};
  streams.State(first, nullptr, nullptr, nullptr, &pixels[0]);
  streams.State(third, nullptr, nullptr, nullptr, &pixels[1]);
  auto three = [&](size_t offset) {
    return std::to_wstring(Field16(data[0], offset)) + L"," + std::to_wstring(Field16(data[1], offset)) + L"," +
           std::to_wstring(Field16(data[2], offset));
  };
  app.Log(L"IMAGELIST-DATA images=" + std::to_wstring(images) + L" bytes=" + std::to_wstring(data[0].size()) +
          L" capacity=" + three(6) + L" step=" + three(8) +
          L" stable=" + std::to_wstring(data[0] == data[1] && data[1] == data[2]) +
          L" pixels=" + std::to_wstring(pixels[0] == pixels[1]));
  for (void* list : {first, second, third}) lists.Free(list);
  return 0;
}

const WorkloadRegistration kImageListData{
    L"imagelistdata", RunImageListData,
    L"imagelistdata [<images>]  an image list's data written, read back and written again, twice"};

} // namespace

} // namespace QmHost
