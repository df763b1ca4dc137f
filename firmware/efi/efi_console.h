// SPDX-License-Identifier: BSD-2-Clause-Patent
// Simple Text Input and Simple Text Output protocols, fields in the UEFI
// specification's order.
#pragma once

#include "efi/efi_types.h"

struct EFI_INPUT_KEY {
  UINT16 ScanCode;
  CHAR16 UnicodeChar;
};

struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL;
using EFI_INPUT_READ_KEY = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* This,
                                               EFI_INPUT_KEY* Key);

struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL {
  VOID* Reset;
  EFI_INPUT_READ_KEY ReadKeyStroke;
  EFI_EVENT WaitForKey;
};

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;
using EFI_TEXT_STRING = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This,
                                            const CHAR16* String);
using EFI_TEXT_SET_ATTRIBUTE = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This,
                                                   UINTN Attribute);
using EFI_TEXT_SET_CURSOR_POSITION = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This,
                                                         UINTN Column, UINTN Row);

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
  VOID* Reset;
  EFI_TEXT_STRING OutputString;
  VOID* TestString;
  VOID* QueryMode;
  VOID* SetMode;
  EFI_TEXT_SET_ATTRIBUTE SetAttribute;
  VOID* ClearScreen;
  EFI_TEXT_SET_CURSOR_POSITION SetCursorPosition;
  VOID* EnableCursor;
  VOID* Mode;
};

// Text attributes: foreground in bits 0..3, background in bits 4..6.
inline constexpr UINTN EFI_YELLOW = 0x0E;
inline constexpr UINTN EFI_BACKGROUND_RED = 0x40;

// Offsets and sizes as UEFI lays these tables out.
// NOLINTBEGIN(readability-magic-numbers)
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, ReadKeyStroke) == 8);
static_assert(sizeof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL) == 24);
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, OutputString) == 8);
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetAttribute) == 40);
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetCursorPosition) == 56);
static_assert(sizeof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL) == 80);
static_assert(sizeof(EFI_INPUT_KEY) == 4);
// NOLINTEND(readability-magic-numbers)
