// The EC's side of the host protocol as the simulator and the host tools speak
// it: ports, status bits, progress codes and the EC commands. Named once here
// for the model, the expectations and the tools alike.
#pragma once

#include <cstdint>

namespace sim {

inline constexpr uint16_t kEcDataPort = 0x62;
inline constexpr uint16_t kEcCommandPort = 0x66;
inline constexpr uint16_t kPostCodePort = 0x80;
inline constexpr uint16_t kResetControlPort = 0xCF9;

inline constexpr uint8_t kStatusObf = 0x01; // a reply waits on the data port
inline constexpr uint8_t kStatusIbf = 0x02; // the EC has not taken the last byte

inline constexpr uint8_t kProgressWaitInput = 0xEB;
inline constexpr uint8_t kProgressWaitOutput = 0xEC;

inline constexpr uint8_t kPtEnter = 0xDC;
inline constexpr uint8_t kPtReady = 0x33;
inline constexpr uint8_t kPtSelect = 0x01;
inline constexpr uint8_t kPtSendCommand = 0x02;
inline constexpr uint8_t kPtSendData = 0x03;
inline constexpr uint8_t kPtReadByte = 0x04;
inline constexpr uint8_t kPtDeselect = 0x05;
inline constexpr uint8_t kPtLeave = 0xFE;
inline constexpr uint8_t kGuardThreshold = 0xAA;
inline constexpr uint8_t kAcpiRead = 0x80;

// The serial flash behind the pass-through mode, as the host tools read its
// traffic: the opcodes the update uses, its addresses and blocks.
inline constexpr uint8_t kFlashReadId = 0x9F;
inline constexpr uint8_t kFlashWriteEnable = 0x06;
inline constexpr uint8_t kFlashWriteDisable = 0x04;
inline constexpr uint8_t kFlashReadStatus = 0x05;
inline constexpr uint8_t kFlashErase1K = 0xD7;
inline constexpr uint8_t kFlashFastRead = 0x0B;
inline constexpr uint8_t kFlashWordProgram = 0xAD;
inline constexpr uint32_t kFlashAddressBytes = 3; // most significant first
inline constexpr uint32_t kEcBlockSize = 0x400;   // one erase, blank check, program, verify

} // namespace sim
