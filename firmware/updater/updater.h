// SPDX-License-Identifier: BSD-2-Clause-Patent
// The updater driver's routines, shared between its source files.
#pragma once

#include "common/setup_data.h"
#include "efi/efi_system_table.h"

namespace updater {

// Borrowed from the firmware at entry, for the life of the boot.
extern EFI_SYSTEM_TABLE* SystemTable;
extern EFI_BOOT_SERVICES* BootServices;
extern EFI_RUNTIME_SERVICES* RuntimeServices;

inline constexpr UINTN MESSAGE_ATTRIBUTE = EFI_YELLOW | EFI_BACKGROUND_RED;

// Console rows of the update flow's messages.
inline constexpr UINTN ROW_BANNER = 10;
inline constexpr UINTN ROW_PROMPT = 11;
inline constexpr UINTN ROW_START = 12;
inline constexpr UINTN ROW_SKIPPED = 13;
inline constexpr UINTN ROW_OUTCOME = 15;

inline constexpr UINT16 RESET_CONTROL_PORT = 0xCF9;
inline constexpr UINT8 RESET_CONTROL_FULL_RESET = 0x0E;

inline constexpr UINTN SKIP_PAUSE_US = 2000000;
inline constexpr UINTN RESTART_PAUSE_US = 3000000;

enum class PromptAnswer { Proceed, Skip };

// A stack copy of "Setup" with the size and attributes the read returned, so
// that a write-back keeps both.
struct SetupCopy {
  UINT8 Data[SETUP_DATA_SIZE];
  UINTN Size;
  UINT32 Attributes;
};

// Reads "Setup" and returns its update-request byte, or 0 when the variable is
// unreadable or too short to hold the byte.
[[nodiscard]] UINT8 ReadUpdateRequest(SetupCopy& Setup);

void EFIAPI OnUpdateTrigger(EFI_EVENT Event, VOID* Context);
[[nodiscard]] PromptAnswer UpdatePrompt();
void ShowMessage(UINTN Row, const CHAR16* Text);
void FinishUpdate();
void RestartPlatform(UINTN Microseconds);
void EndWithInitFailure();
void EndWithUpdateFailure();

// EC flash programming through the EC's pass-through mode.
[[nodiscard]] EFI_STATUS UpdateRun();
[[nodiscard]] EFI_STATUS ProgramImage();

} // namespace updater

extern "C" EFI_STATUS EFIAPI UpdaterEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
