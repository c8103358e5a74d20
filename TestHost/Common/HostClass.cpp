#include "HostClass.h"

#include <cstring>

namespace QmHost {

namespace {

void Put16(unsigned char*& at, std::uint16_t value) {
  std::memcpy(at, &value, 2);
  at += 2;
}

void Put32(unsigned char*& at, std::uint32_t value) {
  std::memcpy(at, &value, 4);
  at += 4;
}

void PutPointer(unsigned char*& at, const void* value) { Put32(at, static_cast<std::uint32_t>((std::uintptr_t)value)); }

// A short string: length byte, then the characters (at most 255).
void PutShortString(unsigned char*& at, const char* text) {
  std::size_t length = std::strlen(text);
  if (length > 255) length = 255;
  *at++ = static_cast<unsigned char>(length);
  std::memcpy(at, text, length);
  at += length;
}

std::uint16_t Get16(const unsigned char* at) {
  std::uint16_t value;
  std::memcpy(&value, at, 2);
  return value;
}

std::uint32_t Get32(const unsigned char* at) {
  std::uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

const unsigned char* Table(const void* classRef, int offset) {
  return static_cast<const unsigned char*>(VmtSlot(classRef, offset));
}

bool SameNameIgnoringAsciiCase(const unsigned char* shortString, const char* name) {
  std::size_t length = std::strlen(name);
  if (shortString[0] != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char a = shortString[1 + i], b = static_cast<unsigned char>(name[i]);
    if (a >= 'a' && a <= 'z') a -= 0x20;
    if (b >= 'a' && b <= 'z') b -= 0x20;
    if (a != b) return false;
  }
  return true;
}

// As the host counts them: from the class reference up to the first table
// stored behind it, the class name at the latest.
int VirtualCountOf(const void* classRef) {
  const auto start = reinterpret_cast<std::uintptr_t>(classRef);
  auto end = reinterpret_cast<std::uintptr_t>(VmtSlot(classRef, kVmtClassName));
  for (int offset = kVmtIntfTable; offset <= kVmtDynamicTable; offset += 4) {
    const auto table = reinterpret_cast<std::uintptr_t>(VmtSlot(classRef, offset));
    if (table != 0 && table >= start && table < end) end = table;
  }
  return static_cast<int>((end - start) / 4);
}

// Published properties of the class and its parents, from its type information.
int PropertyCountOf(const void* classRef) {
  const unsigned char* info = Table(classRef, kVmtTypeInfo);
  if (!info) return 0;
  const unsigned char* typeData = info + 2 + info[1];  // kind, name
  return static_cast<std::int16_t>(Get16(typeData + 8));  // after ClassType, ParentInfo
}

} // namespace

HostClassBuilder& HostClassBuilder::Parent(void* const* parentVar) {
  parentVar_ = parentVar;
  return *this;
}

HostClassBuilder& HostClassBuilder::InstanceSize(int bytes) {
  instanceSize_ = bytes;
  return *this;
}

HostClassBuilder& HostClassBuilder::Virtual(int index, const void* code) {
  virtuals_.emplace_back(4 * index, code);
  return *this;
}

HostClassBuilder& HostClassBuilder::Root(VmtOffset offset, const void* code) {
  virtuals_.emplace_back(static_cast<int>(offset), code);
  return *this;
}

HostClassBuilder& HostClassBuilder::Field(const char* name, std::uint32_t offset, void* const* classVar) {
  fields_.push_back({name, offset, classVar});
  return *this;
}

HostClassBuilder& HostClassBuilder::Published(const char* name, const void* code) {
  published_.push_back({name, code});
  return *this;
}

HostClassBuilder& HostClassBuilder::Dynamic(std::int16_t index, const void* code) {
  dynamics_.push_back({index, code});
  return *this;
}

HostClassBuilder& HostClassBuilder::TypeInfo(const char* unitName) {
  typeInfo_ = true;
  unitName_ = unitName;
  return *this;
}

HostClassBuilder& HostClassBuilder::Property(const char* name, void* const* typeInfoVar, std::uint32_t getter,
                                             std::uint32_t setter, std::int32_t defaultValue) {
  properties_.push_back({name, typeInfoVar, getter, setter, defaultValue});
  return *this;
}

void* HostClassBuilder::Build() {
  unsigned char* classRef = bytes_ + kVmtHeaderBytes;
  auto slot = [classRef](int offset) -> void*& { return *reinterpret_cast<void**>(classRef + offset); };
  const void* parent = parentVar_ ? *parentVar_ : nullptr;

  // The virtual methods: the parent's, then this class's own.
  int count = parent ? VirtualCountOf(parent) : 0;
  for (const auto& entry : virtuals_)
    if (entry.first >= 0 && entry.first / 4 + 1 > count) count = entry.first / 4 + 1;
  if (count > virtualCount_) return nullptr;
  std::memset(bytes_, 0, kVmtHeaderBytes + 4 * static_cast<std::size_t>(virtualCount_) + tailBytes_);
  if (parent) {
    for (int offset = kVmtEquals; offset < 0; offset += 4) slot(offset) = VmtSlot(parent, offset);
    std::memcpy(classRef, parent, 4 * static_cast<std::size_t>(VirtualCountOf(parent)));
  }
  for (const auto& entry : virtuals_) slot(entry.first) = const_cast<void*>(entry.second);
  slot(kVmtSelfPtr) = classRef;
  slot(kVmtParent) = const_cast<void**>(parentVar_);
  int size = instanceSize_;
  if (size < 0) size = parent ? static_cast<int>((std::intptr_t)VmtSlot(parent, kVmtInstanceSize)) : 4;
  slot(kVmtInstanceSize) = reinterpret_cast<void*>(static_cast<std::intptr_t>(size));

  // Behind the virtual methods: the name, then the tables, as the host's
  // compiler places them (the virtual method count ends at the first).
  unsigned char* at = classRef + 4 * count;
  unsigned char* const end = classRef + 4 * virtualCount_ + tailBytes_;
  std::size_t need = 256;
  for (const FieldEntry& f : fields_) need += 8 + 2 + 1 + std::strlen(f.name);
  for (const NamedCode& m : published_) need += 7 + std::strlen(m.name);
  need += 2 + 6 * dynamics_.size() + 4 + 2 + 256 + 256;
  for (const PropertyEntry& p : properties_) need += 27 + std::strlen(p.name);
  if (need > static_cast<std::size_t>(end - at)) return nullptr;

  slot(kVmtClassName) = at;
  PutShortString(at, name_);

  if (!fields_.empty()) {
    // The classes of the fields, each once; a field names its class by index.
    std::vector<void* const*> classes;
    for (const FieldEntry& f : fields_) {
      bool known = false;
      for (void* const* c : classes) known |= c == f.classVar;
      if (!known) classes.push_back(f.classVar);
    }
    unsigned char* classTable = at;
    Put16(at, static_cast<std::uint16_t>(classes.size()));
    for (void* const* c : classes) PutPointer(at, c);
    slot(kVmtFieldTable) = at;
    Put16(at, static_cast<std::uint16_t>(fields_.size()));
    PutPointer(at, classTable);
    for (const FieldEntry& f : fields_) {
      Put32(at, f.offset);
      std::uint16_t index = 0;
      while (classes[index] != f.classVar) ++index;
      Put16(at, index);
      PutShortString(at, f.name);
    }
  }
  if (!published_.empty()) {
    slot(kVmtMethodTable) = at;
    Put16(at, static_cast<std::uint16_t>(published_.size()));
    for (const NamedCode& m : published_) {
      Put16(at, static_cast<std::uint16_t>(2 + 4 + 1 + std::strlen(m.name)));
      PutPointer(at, m.code);
      PutShortString(at, m.name);
    }
    Put16(at, 0);  // no extended entries
  }
  if (!dynamics_.empty()) {
    slot(kVmtDynamicTable) = at;
    Put16(at, static_cast<std::uint16_t>(dynamics_.size()));
    for (const DynamicEntry& d : dynamics_) Put16(at, static_cast<std::uint16_t>(d.index));
    for (const DynamicEntry& d : dynamics_) PutPointer(at, d.code);
  }
  if (typeInfo_) {
    slot(kVmtTypeInfo) = at;
    *at++ = kTypeKindClass;
    PutShortString(at, name_);
    PutPointer(at, classRef);
    // The parent's type-information pointer, read through its header slot.
    const bool parentInfo = parent && VmtSlot(parent, kVmtTypeInfo);
    PutPointer(at, parentInfo ? static_cast<const char*>(parent) + kVmtTypeInfo : nullptr);
    Put16(at, static_cast<std::uint16_t>((parent ? PropertyCountOf(parent) : 0) + properties_.size()));
    PutShortString(at, unitName_);
    Put16(at, static_cast<std::uint16_t>(properties_.size()));
    const int inherited = parent ? PropertyCountOf(parent) : 0;
    for (std::size_t i = 0; i < properties_.size(); ++i) {
      const PropertyEntry& p = properties_[i];
      PutPointer(at, p.typeInfoVar);
      Put32(at, p.getter);
      Put32(at, p.setter);
      Put32(at, 1);                                         // stored: always
      Put32(at, 0x80000000u);                               // no index
      Put32(at, static_cast<std::uint32_t>(p.defaultValue));
      Put16(at, static_cast<std::uint16_t>(inherited + i));  // position among all properties
      PutShortString(at, p.name);
    }
  }
  return classRef;
}

void* FindPublishedMethod(const void* classRef, const char* name) {
  for (const void* c = classRef; c; c = HostParentClass(c)) {
    const unsigned char* table = Table(c, kVmtMethodTable);
    if (!table) continue;
    const unsigned char* entry = table + 2;
    for (int i = Get16(table); i > 0; --i, entry += Get16(entry))
      if (SameNameIgnoringAsciiCase(entry + 6, name)) return reinterpret_cast<void*>(Get32(entry + 2));
  }
  return nullptr;
}

int FindPublishedField(const void* classRef, const char* name) {
  for (const void* c = classRef; c; c = HostParentClass(c)) {
    const unsigned char* table = Table(c, kVmtFieldTable);
    if (!table) continue;
    const unsigned char* entry = table + 6;
    for (int i = Get16(table); i > 0; --i, entry += 7 + entry[6])
      if (SameNameIgnoringAsciiCase(entry + 6, name)) return static_cast<int>(Get32(entry));
  }
  return -1;
}

void* FindDynamicMethod(const void* classRef, std::int16_t index) {
  for (const void* c = classRef; c; c = HostParentClass(c)) {
    const unsigned char* table = Table(c, kVmtDynamicTable);
    if (!table) continue;
    const int count = Get16(table);
    for (int i = 0; i < count; ++i)
      if (static_cast<std::int16_t>(Get16(table + 2 + 2 * i)) == index)
        return reinterpret_cast<void*>(Get32(table + 2 + 2 * count + 4 * i));
  }
  return nullptr;
}

void* HostParentClass(const void* classRef) {
  void* const* parentVar = static_cast<void* const*>(VmtSlot(classRef, kVmtParent));
  return parentVar ? *parentVar : nullptr;
}

} // namespace QmHost
