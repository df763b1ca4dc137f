// SPDX-License-Identifier: BSD-2-Clause-Patent
// Names of every function slot of the service tables and console protocols,
// in table order, so a call through a slot the drivers should never use can
// be reported by name.
#pragma once

#include <array>
#include <string_view>

namespace sim {

inline constexpr std::array<std::string_view, 44> kBootServiceSlots = {
    "RaiseTPL",
    "RestoreTPL",
    "AllocatePages",
    "FreePages",
    "GetMemoryMap",
    "AllocatePool",
    "FreePool",
    "CreateEvent",
    "SetTimer",
    "WaitForEvent",
    "SignalEvent",
    "CloseEvent",
    "CheckEvent",
    "InstallProtocolInterface",
    "ReinstallProtocolInterface",
    "UninstallProtocolInterface",
    "HandleProtocol",
    "Reserved",
    "RegisterProtocolNotify",
    "LocateHandle",
    "LocateDevicePath",
    "InstallConfigurationTable",
    "LoadImage",
    "StartImage",
    "Exit",
    "UnloadImage",
    "ExitBootServices",
    "GetNextMonotonicCount",
    "Stall",
    "SetWatchdogTimer",
    "ConnectController",
    "DisconnectController",
    "OpenProtocol",
    "CloseProtocol",
    "OpenProtocolInformation",
    "ProtocolsPerHandle",
    "LocateHandleBuffer",
    "LocateProtocol",
    "InstallMultipleProtocolInterfaces",
    "UninstallMultipleProtocolInterfaces",
    "CalculateCrc32",
    "CopyMem",
    "SetMem",
    "CreateEventEx"};

inline constexpr std::array<std::string_view, 14> kRuntimeServiceSlots = {
    "GetTime",
    "SetTime",
    "GetWakeupTime",
    "SetWakeupTime",
    "SetVirtualAddressMap",
    "ConvertPointer",
    "GetVariable",
    "GetNextVariableName",
    "SetVariable",
    "GetNextHighMonotonicCount",
    "ResetSystem",
    "UpdateCapsule",
    "QueryCapsuleCapabilities",
    "QueryVariableInfo"};

inline constexpr std::array<std::string_view, 9> kTextOutputSlots = {
    "Reset",        "OutputString", "TestString",        "QueryMode",   "SetMode",
    "SetAttribute", "ClearScreen",  "SetCursorPosition", "EnableCursor"};

inline constexpr std::array<std::string_view, 2> kTextInputSlots = {"Reset", "ReadKeyStroke"};

} // namespace sim
