// The compiler's name records around the searched reader (DccNames.S): the
// length reader it calls, and a unit's names read one after the other.
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "DccNamesDriver.h"

using namespace DccNamesDriver;

extern "C" {

const uint8_t* QM_HOST_REGISTER DccReadName(const uint8_t* source, char* dest) QM_HOST_SYMBOL(DccReadName);

const uint8_t* QM_HOST_REGISTER DccReadLength(const uint8_t* source, int32_t* length) QM_HOST_SYMBOL(DccReadLength);
const uint8_t* QM_HOST_REGISTER DccReadLength(const uint8_t* source, int32_t* length) {
  if (source[0] != 255) {
    *length = source[0];
    return source + 1;
  }
  std::memcpy(length, source + 1, 4);
  return source + 5;
}

uint32_t __stdcall DccReadNames(const uint8_t* data, int32_t count, int32_t room) {
  std::vector<char> buffer(size_t(room > 256 ? room : 256));
  uint32_t h = 2166136261u;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* next = DccReadName(data, buffer.data());
    const size_t length = size_t(next - data) - (data[0] == 255 ? 5 : 1);
    // Samples of the name: its first, middle and last characters and the zero after it.
    h = (h ^ uint32_t(next - data)) * 16777619u;
    h = (h ^ uint8_t(buffer[0])) * 16777619u;
    h = (h ^ uint8_t(buffer[length / 2])) * 16777619u;
    h = (h ^ uint8_t(buffer[length ? length - 1 : 0])) * 16777619u;
    h = (h ^ uint8_t(buffer[length])) * 16777619u;
    data = next;
  }
  return h;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DccReadName), ReadNameFn>, "ReadName");
static_assert(std::is_same_v<decltype(&DccReadLength), ReadLengthFn>, "ReadLength");
static_assert(std::is_same_v<decltype(&DccReadNames), ReadNamesFn>, "ReadNames");
