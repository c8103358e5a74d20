#include "Patches/DesignerShell/BitBtnDefaultsFix.h"

#include <cstring>

#include "Framework/HostObjectModel.h"
#include "Patches/DesignerShell/DesignerShellHost.h"

namespace Quillmend {

using namespace DesignerShellHost;

namespace {

// Type information of a class: kind, name, then ClassType, ParentInfo,
// PropCount, the unit's name, the count of the class's own properties and
// their records (type, getter, setter, stored, index, default, name index,
// name).
constexpr int TypeInfoSlot = -72;
constexpr uint8_t TypeKindClass = 7;
constexpr int PropertyDefault = 20;
constexpr int PropertyName = 26;

bool SameAsciiName(const unsigned char* shortString, const char* name) {
  const size_t length = std::strlen(name);
  if (shortString[0] != length) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char a = shortString[1 + i], b = static_cast<unsigned char>(name[i]);
    if (a >= 'a' && a <= 'z') a = static_cast<unsigned char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

uint16_t Read16(const unsigned char* p) {
  uint16_t value;
  std::memcpy(&value, p, 2);
  return value;
}

} // namespace

int32_t* PublishedPropertyDefault(const void* classRef, const char* name) {
  auto* info = static_cast<unsigned char*>(HostClassSlot(classRef, TypeInfoSlot));
  if (!info || info[0] != TypeKindClass) return nullptr;
  unsigned char* data = info + 2 + info[1] + 10;
  data += 1 + data[0];
  unsigned char* record = data + 2;
  for (int i = Read16(data); i > 0; --i) {
    unsigned char* propName = record + PropertyName;
    if (SameAsciiName(propName, name)) return reinterpret_cast<int32_t*>(record + PropertyDefault);
    record = propName + 1 + propName[0];
  }
  return nullptr;
}

TPatchPlan BitBtnDoubleBufferDefaultPlan() {
  TPatchPlan plan(L"VCL.TBitBtnDoubleBufferDefault", L"TBitBtn DoubleBuffered default fix", TInstallMoment::UnitInit);
  TSiteRef bitBtn = plan.Export(L"TBitBtn", Vcl, Export::BitBtnClass);
  // The class record is filled when its module has run: before that only the running IDE can answer.
  auto property = [&](const wchar_t* label, const char* name) {
    return plan.Computed(
        label,
        [bitBtn, name](const TPlanValues& v) -> void* {
          return HostInstanceSize(v.Site(bitBtn)) != 0 ? PublishedPropertyDefault(v.Site(bitBtn), name) : nullptr;
        },
        true);
  };
  TSiteRef doubleBuffered = property(L"TBitBtn.DoubleBuffered", "DoubleBuffered");
  TSiteRef parentDoubleBuffered = property(L"TBitBtn.ParentDoubleBuffered", "ParentDoubleBuffered");
  // Both fields in one transaction; a field that holds its value already is rewritten with the same bytes.
  plan.WriteBytes(doubleBuffered, 0, {1, 0, 0, 0});
  plan.WriteBytes(parentDoubleBuffered, 0, {0, 0, 0, 0});
  return plan;
}

void InstallBitBtnDefaultsFix() {
  TPatchPlan plan = BitBtnDoubleBufferDefaultPlan();
  InstallPlan(plan);
}

namespace {

std::vector<TPatchPlan> BitBtnDefaultsFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(BitBtnDoubleBufferDefaultPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_BitBtnDefaultsFix = {"BitBtnDefaultsFix", &InstallBitBtnDefaultsFix, nullptr,
                                          &BitBtnDefaultsFixPlans};

} // namespace Quillmend
