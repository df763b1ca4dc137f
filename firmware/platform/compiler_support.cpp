// SPDX-License-Identifier: BSD-2-Clause-Patent
// The compiler may turn block copies and clears into calls to memcpy and
// memset even in a freestanding image; there is no C library to supply them.
#include <stddef.h>

extern "C" {

void* memcpy(void* Dest, const void* Src, size_t Count) {
  auto* To = static_cast<unsigned char*>(Dest);
  const auto* From = static_cast<const unsigned char*>(Src);
  while (Count-- != 0) {
    *To++ = *From++;
  }
  return Dest;
}

void* memset(void* Dest, int Value, size_t Count) {
  auto* To = static_cast<unsigned char*>(Dest);
  while (Count-- != 0) {
    *To++ = static_cast<unsigned char>(Value);
  }
  return Dest;
}

} // extern "C"
