#include "Patches/Xml/XMLIniFilePerformance.h"

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Patches/Xml/XmlIniFile.h"

namespace Quillmend {

namespace {

constexpr const wchar_t* CoreIdePackage = L"coreide150.bpl";
constexpr const wchar_t* RuntimePackage = L"rtl150.bpl";

using TWriteNode = void(QM_REGISTER*)(void* writer, void* node);
using TWriteBuffer = void(QM_REGISTER*)(void* stream, const void* buffer, int32_t count);

// Bound at the commit.
const void* g_customMemoryStreamClass = nullptr;
const void* g_memoryStreamClass = nullptr;
TWriteBuffer g_writeBuffer = nullptr;

void*& WriterStream(void* writer) {
  return *reinterpret_cast<void**>(static_cast<char*>(writer) + HostXmlWriterLayout::Stream);
}

TPatchPlan XmlWriterPlan() {
  TPatchPlan plan(L"RTL.XmlWriter", L"TXmlWriter I/O optimization", TInstallMoment::UnitInit);
  TSiteRef write = plan.Export(L"TXmlWriter.Write", CoreIdePackage, XmlWriterWriteExport);
  TSiteRef customMemoryStream =
      plan.Export(L"TCustomMemoryStream", RuntimePackage, HostStreamExport::CustomMemoryStreamClass);
  TSiteRef memoryStream = plan.Export(L"TMemoryStream", RuntimePackage, HostStreamExport::MemoryStreamClass);
  TSiteRef writeBuffer = plan.Export(L"TStream.WriteBuffer", RuntimePackage, HostStreamExport::WriteBuffer);
  plan.Redirect(write, &XmlWriterWriteInOne);
  plan.OnCommit([=](const TPlanValues& v) {
    g_customMemoryStreamClass = v.Site(customMemoryStream);
    g_memoryStreamClass = v.Site(memoryStream);
    g_writeBuffer = reinterpret_cast<TWriteBuffer>(v.Site(writeBuffer));
  });
  return plan;
}

void InitializeXMLIniFilePerformance() {
  TPatchPlan iniFile = XmlIniFilePlan();
  InstallPlan(iniFile);
  TPatchPlan writer = XmlWriterPlan();
  InstallPlan(writer);
}

}  // namespace

void QM_REGISTER XmlWriterWriteInOne(void* writer, void* node) {
  auto writeNode =
      reinterpret_cast<TWriteNode>(HostClassSlot(HostClassOf(writer), 4 * HostXmlWriterLayout::WriteNodeSlot));
  void* kept = WriterStream(writer);
  if (kept && HostClassInherits(HostClassOf(kept), g_customMemoryStreamClass)) {
    writeNode(writer, node);
    return;
  }
  struct TState {
    void* Writer;
    void* Node;
    void* Kept;
    void* Memory;
    TWriteNode WriteNode;
  } state{writer, node, kept, HostNewObject(g_memoryStreamClass), writeNode};
  WriterStream(writer) = state.Memory;
  HostTryFinally(
      [](void* data) {
        auto* s = static_cast<TState*>(data);
        s->WriteNode(s->Writer, s->Node);
        const int32_t size = HostMemoryStreamSize(s->Memory);
        if (size > 0) g_writeBuffer(s->Kept, HostMemoryStreamMemory(s->Memory), size);
      },
      &state,
      [](void* data) {
        auto* s = static_cast<TState*>(data);
        WriterStream(s->Writer) = s->Kept;
        HostObjectFree(s->Memory);
      });
}

std::vector<TPatchPlan> XMLIniFilePerformancePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(XmlIniFilePlan());
  plans.push_back(XmlWriterPlan());
  return plans;
}

const TUnitInfo Unit_XMLIniFilePerformance = {"XMLIniFilePerformance", &InitializeXMLIniFilePerformance, nullptr,
                                              &XMLIniFilePerformancePlans};

}  // namespace Quillmend
