// SPDX-License-Identifier: BSD-2-Clause-Patent
// Test-only UEFI Shell application (never shipped): prepares the "Setup"
// variable the drivers read and installs the update trigger protocol.
//
//   setup_tool set OFFSET=VALUE...  write a fresh 3180-byte "Setup" (NV+BS+RT):
//                                   byte i is i % 251, except the bytes named
//   setup_tool delete               delete "Setup"
//   setup_tool show                 print its size, attributes and EC bytes
//   setup_tool trigger              install the trigger protocol on a new handle
//
// Offsets are decimal; values decimal or 0x-prefixed hexadecimal.
#include "tests/qemu/efi_app.h"

namespace {

// The "Setup" layout written out here on purpose, apart from the drivers'
// own definition, so the firmware tests do not share it with the code under
// test.
constexpr UINTN SETUP_SIZE = 3180;
constexpr UINT32 SETUP_ATTRIBUTES =
    EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;
constexpr UINTN SHOWN_OFFSETS[] = {3172, 3176, 3177};
const CHAR16 SETUP_NAME[] = u"Setup";

EFI_SYSTEM_TABLE* ST;

void Print(const CHAR16* Text) {
  ST->ConOut->OutputString(ST->ConOut, Text);
}

void PrintHex(UINT64 Value, int Digits) {
  CHAR16 Text[19] = {u'0', u'x'};
  for (int i = 0; i < Digits; ++i) {
    Text[2 + i] = u"0123456789ABCDEF"[(Value >> (4 * (Digits - 1 - i))) & 0xF];
  }
  Text[2 + Digits] = 0;
  Print(Text);
}

void PrintDecimal(UINT64 Value) {
  CHAR16 Text[21];
  int i = 20;
  Text[i] = 0;
  do {
    Text[--i] = static_cast<CHAR16>(u'0' + Value % 10);
    Value /= 10;
  } while (Value != 0);
  Print(&Text[i]);
}

void PrintStatus(const CHAR16* What, EFI_STATUS Status) {
  Print(What);
  Print(u": status ");
  PrintHex(Status, 16);
  Print(u"\r\n");
}

bool Equal(const CHAR16* A, const CHAR16* B) {
  while (*A != 0 && *A == *B) {
    ++A;
    ++B;
  }
  return *A == *B;
}

// Parses decimal or 0x-prefixed hexadecimal up to Limit; stops at Stop.
bool ParseNumber(const CHAR16*& Text, CHAR16 Stop, UINT64 Limit, UINT64& Value) {
  UINT64 Base = 10;
  if (Text[0] == u'0' && (Text[1] == u'x' || Text[1] == u'X')) {
    Base = 16;
    Text += 2;
  }
  Value = 0;
  const CHAR16* Start = Text;
  for (; *Text != Stop; ++Text) {
    UINT64 Digit;
    if (*Text >= u'0' && *Text <= u'9') {
      Digit = *Text - u'0';
    } else if (Base == 16 && (*Text | 0x20) >= u'a' && (*Text | 0x20) <= u'f') {
      Digit = (*Text | 0x20) - u'a' + 10;
    } else {
      return false;
    }
    Value = Value * Base + Digit;
    if (Value > Limit) {
      return false;
    }
  }
  return Text != Start;
}

EFI_STATUS SetSetup(CHAR16** Args, UINTN Count) {
  UINT8 Data[SETUP_SIZE];
  for (UINTN i = 0; i < SETUP_SIZE; ++i) {
    Data[i] = static_cast<UINT8>(i % 251);
  }
  for (UINTN a = 0; a < Count; ++a) {
    const CHAR16* Text = Args[a];
    UINT64 Offset;
    UINT64 Value;
    if (!ParseNumber(Text, u'=', SETUP_SIZE - 1, Offset) || !ParseNumber(++Text, 0, 0xFF, Value)) {
      Print(u"setup_tool: expected OFFSET=VALUE, got ");
      Print(Args[a]);
      Print(u"\r\n");
      return EFI_INVALID_PARAMETER;
    }
    Data[Offset] = static_cast<UINT8>(Value);
  }
  const EFI_STATUS Status = ST->RuntimeServices->SetVariable(SETUP_NAME, &TestSetupGuid,
                                                             SETUP_ATTRIBUTES, SETUP_SIZE, Data);
  PrintStatus(u"setup_tool set", Status);
  return Status;
}

EFI_STATUS DeleteSetup() {
  const EFI_STATUS Status =
      ST->RuntimeServices->SetVariable(SETUP_NAME, &TestSetupGuid, 0, 0, nullptr);
  PrintStatus(u"setup_tool delete", Status);
  return Status == EFI_NOT_FOUND ? EFI_SUCCESS : Status;
}

EFI_STATUS ShowSetup() {
  UINT8 Data[SETUP_SIZE];
  UINTN Size = sizeof(Data);
  UINT32 Attributes = 0;
  const EFI_STATUS Status =
      ST->RuntimeServices->GetVariable(SETUP_NAME, &TestSetupGuid, &Attributes, &Size, Data);
  if (EFI_ERROR(Status)) {
    PrintStatus(u"setup_tool show", Status);
    return Status;
  }
  Print(u"Setup size ");
  PrintDecimal(Size);
  Print(u" attributes ");
  PrintHex(Attributes, 8);
  for (UINTN Offset : SHOWN_OFFSETS) {
    Print(u" [");
    PrintDecimal(Offset);
    Print(u"]=");
    if (Offset < Size) {
      PrintHex(Data[Offset], 2);
    } else {
      Print(u"none");
    }
  }
  Print(u"\r\n");
  return EFI_SUCCESS;
}

// Every call installs the protocol on a handle of its own, as a second
// firmware component would.
EFI_STATUS InstallTrigger() {
  EFI_HANDLE Handle = nullptr;
  const EFI_STATUS Status = ST->BootServices->InstallProtocolInterface(
      &Handle, &TestTriggerGuid, EFI_NATIVE_INTERFACE, nullptr);
  // A line of its own: whatever the notification printed leaves the cursor
  // at the end of that text.
  PrintStatus(u"\r\nsetup_tool trigger", Status);
  return Status;
}

} // namespace

extern "C" EFI_STATUS EFIAPI SetupToolEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  ST = SystemTable;
  auto GetProtocol =
      reinterpret_cast<EFI_HANDLE_PROTOCOL>(SystemTable->BootServices->HandleProtocol);
  EFI_SHELL_PARAMETERS_PROTOCOL* Parameters = nullptr;
  if (EFI_ERROR(GetProtocol(ImageHandle, &ShellParametersProtocolGuid,
                            reinterpret_cast<VOID**>(&Parameters))) ||
      Parameters->Argc < 2) {
    Print(u"usage: setup_tool set OFFSET=VALUE... | delete | show | trigger\r\n");
    return EFI_INVALID_PARAMETER;
  }
  const CHAR16* Command = Parameters->Argv[1];
  if (Equal(Command, u"set")) {
    return SetSetup(Parameters->Argv + 2, Parameters->Argc - 2);
  }
  if (Parameters->Argc == 2 && Equal(Command, u"delete")) {
    return DeleteSetup();
  }
  if (Parameters->Argc == 2 && Equal(Command, u"show")) {
    return ShowSetup();
  }
  if (Parameters->Argc == 2 && Equal(Command, u"trigger")) {
    return InstallTrigger();
  }
  Print(u"setup_tool: unknown command\r\n");
  return EFI_INVALID_PARAMETER;
}
