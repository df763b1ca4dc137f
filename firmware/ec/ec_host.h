// SPDX-License-Identifier: BSD-2-Clause-Patent
// ACPI embedded-controller host interface: the status/command port 0x66 and
// the data port 0x62, driven with the IBF/OBF handshake. Every routine is
// forced inline (even at -Oz) so each port access in the driver image is a bare
// in/out: the EC handshake, not call overhead, should bound an update.
#pragma once

#include "efi/efi_types.h"
#include "platform/platform_io.h"

inline constexpr UINT16 EC_DATA_PORT = 0x62;
inline constexpr UINT16 EC_CMD_PORT = 0x66; // read: status; write: command
inline constexpr UINT16 POST_CODE_PORT = 0x80;

// The ACPI EC read command: the register number follows as data, and the EC
// answers one data byte.
inline constexpr UINT8 EC_CMD_READ = 0x80;

// Status register bits.
inline constexpr UINT8 EC_STATUS_OBF = 0x01; // output buffer full: a reply waits on 0x62
inline constexpr UINT8 EC_STATUS_IBF = 0x02; // input buffer full: the EC has not taken our byte

// Progress codes left on port 0x80, so a hung EC shows where the host waits.
inline constexpr UINT8 POST_EC_WAIT_INPUT = 0xEB;
inline constexpr UINT8 POST_EC_WAIT_OUTPUT = 0xEC;

// No time-outs: an EC that never answers holds the host here, with the last
// progress code on port 0x80 telling which wait it is.
[[gnu::always_inline]] inline void EcWaitInputEmpty() {
  UINT8 Status;
  do {
    Status = platform::PortRead8(EC_CMD_PORT);
    platform::PortWrite8(POST_CODE_PORT, POST_EC_WAIT_INPUT);
  } while ((Status & EC_STATUS_IBF) != 0);
}

[[gnu::always_inline]] inline void EcWaitOutputFull() {
  UINT8 Status;
  do {
    Status = platform::PortRead8(EC_CMD_PORT);
    platform::PortWrite8(POST_CODE_PORT, POST_EC_WAIT_OUTPUT);
  } while ((Status & EC_STATUS_OBF) == 0);
}

[[gnu::always_inline]] inline void EcWriteCommand(UINT8 Command) {
  EcWaitInputEmpty();
  platform::PortWrite8(EC_CMD_PORT, Command);
}

[[gnu::always_inline]] inline void EcWriteData(UINT8 Data) {
  EcWaitInputEmpty();
  platform::PortWrite8(EC_DATA_PORT, Data);
}

[[gnu::always_inline]] inline UINT8 EcReadData() {
  EcWaitOutputFull();
  return platform::PortRead8(EC_DATA_PORT);
}

[[gnu::always_inline]] inline UINT8 EcReadRegister(UINT8 Register) {
  EcWriteCommand(EC_CMD_READ);
  EcWriteData(Register);
  return EcReadData();
}
