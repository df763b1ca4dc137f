// SPDX-License-Identifier: BSD-2-Clause-Patent
// The firmware services the drivers call, as plain logic: a virtual clock
// advanced by Stall, keys queued at virtual times, a console that keeps rows,
// a variable store, protocol-notify events and the reset service. Adapters
// expose it to host-built drivers (native tables) and to emulated images.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "efi/efi_types.h"

namespace sim {

struct KeyStroke {
  uint64_t at_us; // virtual time from which the key is waiting
  char16_t unicode;
  uint16_t scan = 0;
};

struct ConsoleOutput {
  uint64_t row;
  uint64_t column;
  uint64_t attribute;
  std::u16string text;
  uint64_t at_us;
};

struct Variable {
  uint32_t attributes;
  std::vector<uint8_t> data;
};

struct Notification {
  uint64_t function; // the notify routine, as an address in the caller's space
  uint64_t event;
  uint64_t context;
};

struct ResetRequest {
  EFI_RESET_TYPE type;
  EFI_STATUS status;
  uint64_t at_us;
};

class FakeFirmware {
public:
  // Boot services.
  EFI_STATUS CreateEvent(uint32_t type, uint64_t tpl, uint64_t function, uint64_t context,
                         uint64_t* event);
  EFI_STATUS RegisterProtocolNotify(const EFI_GUID& protocol, uint64_t event);
  EFI_STATUS CloseEvent(uint64_t event);
  EFI_STATUS Stall(uint64_t microseconds);

  // Runtime services. Attributes may be null; Data holds DataSize bytes.
  // GetVariable fills Data past the size it returns with a poison.
  EFI_STATUS GetVariable(const std::u16string& name, const EFI_GUID& guid, uint32_t* attributes,
                         uint64_t* data_size, uint8_t* data);
  EFI_STATUS SetVariable(const std::u16string& name, const EFI_GUID& guid, uint32_t attributes,
                         uint64_t data_size, const uint8_t* data);
  void ResetSystem(EFI_RESET_TYPE type, EFI_STATUS status);

  // Console.
  EFI_STATUS SetCursorPosition(uint64_t column, uint64_t row);
  EFI_STATUS SetAttribute(uint64_t attribute);
  EFI_STATUS OutputString(const std::u16string& text);
  EFI_STATUS ReadKeyStroke(uint16_t* scan, char16_t* unicode);

  // Another firmware component installs a protocol: the events registered for
  // it and still open are due, in registration order.
  std::vector<Notification> InstallProtocol(const EFI_GUID& protocol);

  // Set-up and inspection.
  void QueueKey(KeyStroke key) { keys_.push_back(key); }
  void PutVariable(const std::u16string& name, const EFI_GUID& guid, Variable variable);
  [[nodiscard]] const Variable* FindVariable(const std::u16string& name,
                                             const EFI_GUID& guid) const;
  [[nodiscard]] uint64_t now_us() const { return now_us_; }
  [[nodiscard]] const std::vector<ConsoleOutput>& console() const { return console_; }
  [[nodiscard]] const std::vector<std::string>& calls() const { return calls_; }
  [[nodiscard]] const std::optional<ResetRequest>& reset() const { return reset_; }
  [[nodiscard]] size_t open_events() const;
  [[nodiscard]] size_t keys_consumed() const { return keys_consumed_; }

  // Fault knobs.
  std::optional<EFI_STATUS> create_event_error;
  std::optional<EFI_STATUS> get_variable_error;
  std::optional<EFI_STATUS> set_variable_error;

private:
  struct Event {
    uint64_t function;
    uint64_t context;
    bool open = true;
    std::vector<EFI_GUID> protocols;
  };
  using VariableKey = std::pair<std::u16string, std::string>;
  static VariableKey Key(const std::u16string& name, const EFI_GUID& guid);
  void Call(std::string what) { calls_.push_back(std::move(what)); }

  uint64_t now_us_ = 0;
  std::vector<KeyStroke> keys_;
  size_t keys_consumed_ = 0;
  uint64_t cursor_row_ = 0;
  uint64_t cursor_column_ = 0;
  uint64_t attribute_ = 0x07;
  std::vector<ConsoleOutput> console_;
  std::map<VariableKey, Variable> variables_;
  std::map<uint64_t, Event> events_;
  uint64_t next_event_ = 0x1000;
  std::optional<ResetRequest> reset_;
  std::vector<std::string> calls_;
};

std::string GuidText(const EFI_GUID& guid);

} // namespace sim
