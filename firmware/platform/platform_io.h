// SPDX-License-Identifier: BSD-2-Clause-Patent
// The seam between the drivers and the machine: byte-wide port I/O and byte
// loads from the memory-mapped boot flash. The driver image uses the processor
// directly; the host build binds the same calls to the simulated platform.
#pragma once

#include "efi/efi_types.h"

namespace platform {

#if defined(EC_DRIVER_IMAGE)

inline UINT8 PortRead8(UINT16 Port) {
  UINT8 Value;
  __asm__ volatile("inb %w1, %b0" : "=a"(Value) : "Nd"(Port));
  return Value;
}

inline void PortWrite8(UINT16 Port, UINT8 Value) {
  __asm__ volatile("outb %b0, %w1" : : "a"(Value), "Nd"(Port));
}

// The boot flash is identity-mapped below 4 GiB during DXE; volatile keeps each
// byte a real load from the window.
inline UINT8 BootFlashRead8(UINTN Address) {
  return *reinterpret_cast<const volatile UINT8*>(Address);
}

#else

UINT8 PortRead8(UINT16 Port);
void PortWrite8(UINT16 Port, UINT8 Value);
UINT8 BootFlashRead8(UINTN Address);

#endif

} // namespace platform
