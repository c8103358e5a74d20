// The bit button and the property writer (BitBtnDriver.h). The writer reads
// the type information the host's way: each class's own property records
// (type, getter, setter, stored, index, default, name index, name), the
// parent's through its type-information pointer.
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <type_traits>

#include "BitBtnDriver.h"
#include "Common/HostClass.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;
using namespace BitBtnDriver;

QM_HOST_CLASS(vcl_TBitBtn_Class, ControlSlot::Count);

namespace {

void* g_bitBtnClass = nullptr;

// Boolean's type information: an enumeration of one unsigned byte, 0..1.
constexpr std::uint8_t kTypeKindEnumeration = 3;
const unsigned char BooleanTypeInfo[] = {kTypeKindEnumeration, 7, 'B', 'o', 'o', 'l', 'e', 'a', 'n', 1, 0, 0, 0, 0,
                                         1, 0, 0, 0};
void* g_booleanTypeInfo = const_cast<unsigned char*>(BooleanTypeInfo);

constexpr std::uint32_t FieldAccess = 0xFF000000u;
constexpr std::int32_t NoDefault = std::int32_t(0x80000000u);

bool BuildBitBtn() {
  g_bitBtnClass = HostClassBuilder(vcl_TBitBtn_Class_Storage, "TBitBtn")
                      .Parent(&vcl_TCustomControl_ClassVar)
                      .InstanceSize(BitBtnLayout::Size)
                      .TypeInfo("Buttons")
                      .Property("DoubleBuffered", &g_booleanTypeInfo, FieldAccess | BitBtnLayout::DoubleBuffered,
                                FieldAccess | BitBtnLayout::DoubleBuffered, 0)
                      .Property("ParentDoubleBuffered", &g_booleanTypeInfo,
                                FieldAccess | BitBtnLayout::ParentDoubleBuffered,
                                FieldAccess | BitBtnLayout::ParentDoubleBuffered, 1)
                      .Build();
  return g_bitBtnClass != nullptr;
}

const VclClassRegistration kBitBtn{"TBitBtn", "TCustomControl", &BuildBitBtn};

std::uint16_t Get16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t Get32(const unsigned char* p) { return std::uint32_t(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24); }

// An ordinal property's value read through its field getter; false for any other.
bool ReadOrdinal(const void* object, const unsigned char* record, std::int32_t& value) {
  const std::uint32_t getter = Get32(record + 4);
  const auto* typeVar = reinterpret_cast<const unsigned char* const*>(Get32(record));
  const unsigned char* type = typeVar ? *typeVar : nullptr;
  if ((getter & 0xFF000000u) != FieldAccess || !type || type[0] != kTypeKindEnumeration) return false;
  const auto* field = static_cast<const unsigned char*>(object) + (getter & 0x00FFFFFFu);
  const std::uint8_t ordType = type[2 + type[1]];
  value = ordType <= 1 ? field[0] : ordType <= 3 ? std::int32_t(Get16(field)) : std::int32_t(Get32(field));
  return true;
}

} // namespace

extern "C" {

void* __stdcall VclNewBitBtn() {
  void* button = vcl_TCustomControl_Create(g_bitBtnClass, 1, nullptr);
  Field<std::uint8_t>(button, BitBtnLayout::DoubleBuffered) = 1;
  Field<std::uint8_t>(button, BitBtnLayout::ParentDoubleBuffered) = 0;
  return button;
}

void __stdcall VclBitBtnSetDoubleBuffered(void* button, int doubleBuffered, int parentDoubleBuffered) {
  Field<std::uint8_t>(button, BitBtnLayout::DoubleBuffered) = doubleBuffered ? 1 : 0;
  Field<std::uint8_t>(button, BitBtnLayout::ParentDoubleBuffered) = parentDoubleBuffered ? 1 : 0;
}

int __stdcall VclWriteProperties(const void* object, char* out, int size) {
  std::string text;
  std::set<std::string> written;
  for (const void* c = ClassOf(object); c; c = HostParentClass(c)) {
    const auto* info = static_cast<const unsigned char*>(VmtSlot(c, kVmtTypeInfo));
    if (!info) continue;
    const unsigned char* data = info + 2 + info[1] + 10;  // ClassType, ParentInfo, PropCount
    data += 1 + data[0];                                  // the unit's name
    const unsigned char* record = data + 2;
    for (int i = Get16(data); i > 0; --i) {
      const unsigned char* name = record + 26;
      const std::string propName(reinterpret_cast<const char*>(name + 1), name[0]);
      const std::int32_t defaultValue = std::int32_t(Get32(record + 20));
      std::int32_t value = 0;
      if (written.insert(propName).second && ReadOrdinal(object, record, value) &&
          (defaultValue == NoDefault || value != defaultValue))
        text += propName + "=" + std::to_string(value) + "\n";
      record = name + 1 + name[0];
    }
  }
  if (size > 0) {
    const size_t copied = text.size() < size_t(size) ? text.size() : size_t(size) - 1;
    std::memcpy(out, text.data(), copied);
    out[copied] = 0;
  }
  return int(text.size());
}

} // extern "C"

static_assert(std::is_same_v<decltype(&VclNewBitBtn), NewFn>, "New");
static_assert(std::is_same_v<decltype(&VclBitBtnSetDoubleBuffered), SetDoubleBufferedFn>, "SetDoubleBuffered");
static_assert(std::is_same_v<decltype(&VclWriteProperties), WritePropertiesFn>, "WriteProperties");
