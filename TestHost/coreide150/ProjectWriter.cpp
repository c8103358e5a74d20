// The project file writer (unit Projectreadwrite): TXmlWriter writes a
// project's node tree as XML text to its output stream (+8), fragment by
// fragment, each fragment one call of the stream's Write; its second
// virtual method writes a node. Layouts are the test host's choice
// (TestHost/README.md): the writer {class, depth, stream}, its class a
// table of two methods (0 the fragment writer, 1 the node writer), nodes
// {kind, name, text, children} of our own.
#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

#include "Common/HostGuard.h"
#include "Common/HostLayout.h"
#include "Common/HostRtl.h"
#include "Common/RegisterCall.h"
#include "ProjectWriterDriver.h"

namespace {

enum TNodeKind : int { nkDocument, nkElement, nkRaising };

struct TNode {
  TNodeKind Kind;
  std::wstring Name, Text;
  std::vector<TNode*> Children;
};

struct TXmlWriter {
  const void* const* ClassRef;
  int32_t Depth;
  void* Stream;  // +8
};
static_assert(offsetof(TXmlWriter, Stream) == 8, "the output stream at +8");

using TFragmentFn = void(QM_HOST_REGISTER*)(TXmlWriter* self, const wchar_t* text);
using TNodeFn = void(QM_HOST_REGISTER*)(TXmlWriter* self, TNode* node);
using TStreamWriteFn = int32_t(QM_HOST_REGISTER*)(void* stream, const void* buffer, int32_t count);

constexpr int StreamWriteSlot = 4;

void Fragment(TXmlWriter* self, const std::wstring& text) {
  reinterpret_cast<TFragmentFn>(const_cast<void*>(self->ClassRef[0]))(self, text.c_str());
}

void WriteChild(TXmlWriter* self, TNode* node) {
  reinterpret_cast<TNodeFn>(const_cast<void*>(self->ClassRef[1]))(self, node);
}

std::wstring Escaped(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'&': out += L"&amp;"; break;
      case L'<': out += L"&lt;"; break;
      case L'>': out += L"&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

[[noreturn]] void RaiseWriteFailure() {
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  rtl->raiseExcept(rtl->NewException(L"Cannot write the project node"));
  for (;;) {
  }
}

}  // namespace

extern "C" {

// Virtual 0: one fragment, as UTF-8, in one Write of the stream (its answer not checked).
void QM_HOST_REGISTER PrjWriteFragment(TXmlWriter* self, const wchar_t* text) {
  const int length = lstrlenW(text);
  if (length == 0) return;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], bytes, nullptr, nullptr);
  void* stream = self->Stream;
  const char* classRef = *static_cast<const char* const*>(stream);
  reinterpret_cast<TStreamWriteFn>(*reinterpret_cast<void* const*>(classRef + StreamWriteSlot * 4))(
      stream, utf8.data(), bytes);
}

// Virtual 1: a node and its children.
void QM_HOST_REGISTER PrjWriteNode(TXmlWriter* self, TNode* node) {
  switch (node->Kind) {
    case nkDocument:
      Fragment(self, L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n");
      for (TNode* child : node->Children) WriteChild(self, child);
      return;
    case nkRaising:
      RaiseWriteFailure();
    case nkElement: {
      const std::wstring indent(size_t(self->Depth) * 2, L' ');
      Fragment(self, indent);
      Fragment(self, L"<" + node->Name);
      Fragment(self, L">");
      if (!node->Text.empty()) Fragment(self, Escaped(node->Text));
      if (!node->Children.empty()) {
        Fragment(self, L"\r\n");
        ++self->Depth;
        for (TNode* child : node->Children) WriteChild(self, child);
        --self->Depth;
        Fragment(self, indent);
      }
      Fragment(self, L"</" + node->Name + L">");
      Fragment(self, L"\r\n");
      return;
    }
  }
}

const void* const PrjXmlWriterClass[] = {reinterpret_cast<const void*>(&PrjWriteFragment),
                                         reinterpret_cast<const void*>(&PrjWriteNode)};

// procedure TXmlWriter.Write(Node: TNode): EAX = Self, EDX = Node; the node
// writer called through the class (its second virtual method).
void QM_HOST_REGISTER PrjXmlWriterWrite(TXmlWriter* self, TNode* node) QM_HOST_SYMBOL(PrjXmlWriterWrite);
void QM_HOST_REGISTER PrjXmlWriterWrite(TXmlWriter* self, TNode* node) { WriteChild(self, node); }

void* __stdcall PrjNewProject(int items, int raising) {
  auto* document = new TNode{nkDocument, L"", L"", {}};
  auto* project = new TNode{nkElement, L"Project", L"", {}};
  document->Children.push_back(project);
  auto* properties = new TNode{nkElement, L"PropertyGroup", L"", {}};
  properties->Children.push_back(new TNode{nkElement, L"MainSource", L"Project1.dpr", {}});
  properties->Children.push_back(new TNode{nkElement, L"Config", L"Debug & Release <all>", {}});
  project->Children.push_back(properties);
  auto* group = new TNode{nkElement, L"ItemGroup", L"", {}};
  for (int i = 0; i < items; ++i) {
    if (raising && i == items / 2) group->Children.push_back(new TNode{nkRaising, L"", L"", {}});
    group->Children.push_back(new TNode{nkElement, L"DCCReference", L"Unit" + std::to_wstring(i) + L".pas", {}});
  }
  project->Children.push_back(group);
  return document;
}

void __stdcall PrjFreeProject(void* root) {
  auto* node = static_cast<TNode*>(root);
  if (!node) return;
  for (TNode* child : node->Children) PrjFreeProject(child);
  delete node;
}

int __stdcall PrjWriteProject(void* stream, void* root, void** streamAfter, wchar_t* errorClass) {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&PrjWriteProject), &self);
  const void* write = reinterpret_cast<const void*>(GetProcAddress(self, ProjectWriterDriver::Export::Write));
  TXmlWriter writer{PrjXmlWriterClass, 0, stream};
  QmHost::RegisterCallReport report;
  QmHost::HostExceptionReport exception;
  const bool returned = QmHost::CallHostGuarded(
      [&] {
        QmHost::CallRegisterChecked(write, report, {QmHost::RegisterWord(&writer), QmHost::RegisterWord(root), 0});
      },
      exception, QmHost::LoadedHostRtl());
  if (streamAfter) *streamAfter = writer.Stream;
  if (errorClass) lstrcpynW(errorClass, returned ? L"" : exception.className.c_str(), 64);
  if (!returned) return ProjectWriterDriver::wrRaised;
  return report.Clean() ? ProjectWriterDriver::wrWritten : ProjectWriterDriver::wrConventionBroken;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&PrjNewProject), ProjectWriterDriver::NewProjectFn> &&
                  std::is_same_v<decltype(&PrjFreeProject), ProjectWriterDriver::FreeProjectFn> &&
                  std::is_same_v<decltype(&PrjWriteProject), ProjectWriterDriver::WriteProjectFn>,
              "the driver's types");
