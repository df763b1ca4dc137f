// SPDX-License-Identifier: BSD-2-Clause-Patent
// The EC's flash pass-through mode: the host frames serial-flash transactions
// with EC commands, every byte (arguments included) written to the command
// port, and the EC relays the flash's replies on the data port.
#pragma once

#include "ec/ec_host.h"

inline constexpr UINT8 EC_CMD_PT_ENTER = 0xDC;
inline constexpr UINT8 EC_CMD_PT_SELECT = 0x01;
inline constexpr UINT8 EC_CMD_PT_SEND_COMMAND = 0x02;
inline constexpr UINT8 EC_CMD_PT_SEND_DATA = 0x03;
inline constexpr UINT8 EC_CMD_PT_READ_BYTE = 0x04;
inline constexpr UINT8 EC_CMD_PT_DESELECT = 0x05;
inline constexpr UINT8 EC_CMD_PT_LEAVE = 0xFE;

inline constexpr UINT8 EC_PT_READY = 0x33; // the EC's answer once pass-through is on

// The EC may answer 0xDC with other bytes (status of whatever it was doing)
// before 0x33; the host takes at most this many replies. The bound is a count
// of replies, never time: each reply is still awaited without a time-out.
inline constexpr int EC_HANDSHAKE_REPLIES = 10;

inline void PtEnter() {
  EcWriteCommand(EC_CMD_PT_ENTER);
}
// Selecting also ends whatever transaction is still open.
inline void PtSelect() {
  EcWriteCommand(EC_CMD_PT_SELECT);
}
inline void PtSendCommand(UINT8 Opcode) {
  EcWriteCommand(EC_CMD_PT_SEND_COMMAND);
  EcWriteCommand(Opcode);
}
inline void PtSendData(UINT8 Byte) {
  EcWriteCommand(EC_CMD_PT_SEND_DATA);
  EcWriteCommand(Byte);
}
inline UINT8 PtReadByte() {
  EcWriteCommand(EC_CMD_PT_READ_BYTE);
  return EcReadData();
}
inline void PtDeselect() {
  EcWriteCommand(EC_CMD_PT_DESELECT);
}
inline void PtLeave() {
  EcWriteCommand(EC_CMD_PT_LEAVE);
}
