// "RTL.XmlWriter": the project writer of coreide150.bpl hands every fragment
// of a project file to its output stream on its own; a file stream makes
// one system write of each. TXmlWriter.Write is redirected to a replacement
// that writes the document into a memory stream first and hands the whole
// text to the output stream in one write, checked: a short write (a full
// disk) raises the host's stream write error instead of leaving a
// truncated project behind. Installed at unit initialization.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr const char* XmlWriterWriteExport = "@Projectreadwrite@TXmlWriter@Write$qqrp10Node@TNode";

// The host's project writer: its output stream at +8, its second virtual
// method writes a node (EAX = Self, EDX = node).
namespace HostXmlWriterLayout {
constexpr int Stream = 8;
constexpr int WriteNodeSlot = 1;
}  // namespace HostXmlWriterLayout

// The replacement of TXmlWriter.Write (host register convention). A writer
// whose stream is a memory stream (TCustomMemoryStream or a descendant)
// writes into it directly. Otherwise the output stream is kept aside, a new
// TMemoryStream takes its place while the node is written, and its whole
// content goes to the kept stream through TStream.WriteBuffer (one Write;
// EWriteError when it writes less); the kept stream is put back and the
// memory stream freed also when a host exception passes.
void QM_REGISTER XmlWriterWriteInOne(void* writer, void* node);

std::vector<TPatchPlan> XMLIniFilePerformancePlans();

extern const TUnitInfo Unit_XMLIniFilePerformance;

}  // namespace Quillmend
