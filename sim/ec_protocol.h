// SPDX-License-Identifier: BSD-2-Clause-Patent
// The host side's one home for the protocols the drivers speak: the ACPI EC
// ports, status bits, progress codes and commands, the pass-through mode and
// (in sim/flash_protocol.h, included here) the EC's flash, the "Setup" bytes,
// the EC image's place and blocks, and the reset. Named once here for the
// model, the expectations, the tools and the tests alike.
//
// Written from the protocol description, independently of the drivers'
// headers (firmware/ec, firmware/common), and on purpose not including them:
// the oracle must not share the code under test, or a wrong constant there
// would be expected here too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/flash_protocol.h"

namespace sim {

inline constexpr uint16_t kEcDataPort = 0x62;
inline constexpr uint16_t kEcCommandPort = 0x66;
inline constexpr uint16_t kPostCodePort = 0x80;
inline constexpr uint16_t kResetControlPort = 0xCF9;
inline constexpr uint8_t kResetFull = 0x0E; // full reset, the value the updater restarts with

inline constexpr uint8_t kStatusObf = 0x01;   // a reply waits on the data port
inline constexpr uint8_t kStatusIbf = 0x02;   // the EC has not taken the last byte
inline constexpr uint8_t kStatusBurst = 0x10; // the EC stays in burst mode for the host

inline constexpr uint8_t kProgressWaitInput = 0xEB;
inline constexpr uint8_t kProgressWaitOutput = 0xEC;

inline constexpr uint8_t kPtEnter = 0xDC;
inline constexpr uint8_t kPtReady = 0x33;
inline constexpr int kHandshakeReplies = 10; // replies read for kPtReady before giving up
inline constexpr uint8_t kPtSelect = 0x01;
inline constexpr uint8_t kPtSendCommand = 0x02;
inline constexpr uint8_t kPtSendData = 0x03;
inline constexpr uint8_t kPtReadByte = 0x04;
inline constexpr uint8_t kPtDeselect = 0x05;
inline constexpr uint8_t kPtLeave = 0xFE;

// Where the EC image lies in the boot flash, and the blocks it is written in:
// erase, blank check, program and verify, one block at a time.
inline constexpr uint64_t kBootFlashBase = 0xFF660000;
inline constexpr uint32_t kEcImageSize = 0x20000;
inline constexpr uint32_t kEcBlockSize = 0x400;
inline constexpr uint32_t kEcBlocks = kEcImageSize / kEcBlockSize;

// The "Setup" variable's bytes the drivers read; a larger variable is
// unreadable into the drivers' buffer.
inline constexpr size_t kSetupSize = 3180;
inline constexpr size_t kRequestByte = 3172;
inline constexpr uint8_t kUpdateRequested = 1; // the only value that requests an update
inline constexpr size_t kGuardEnableByte = 3176;
inline constexpr size_t kGuardThresholdByte = 3177;

// The guard's EC exchange: the threshold handed over, then the guarded
// register read with the ACPI EC read command.
inline constexpr uint8_t kGuardRegister = 0x93;
inline constexpr uint8_t kGuardThreshold = 0xAA;
inline constexpr uint8_t kAcpiRead = 0x80;

// The rest of the ACPI EC command set, which the drivers never send but an
// operating system's EC driver does: a register write (address, then value),
// burst mode on (acknowledged with kAcpiBurstAck) and off, and the query for
// a pending event (0: none; this EC raises no events).
inline constexpr uint8_t kAcpiWrite = 0x81;
inline constexpr uint8_t kAcpiBurstEnable = 0x82;
inline constexpr uint8_t kAcpiBurstDisable = 0x83;
inline constexpr uint8_t kAcpiQuery = 0x84;
inline constexpr uint8_t kAcpiBurstAck = 0x90;
inline constexpr uint8_t kAcpiNoEvent = 0x00;

} // namespace sim
