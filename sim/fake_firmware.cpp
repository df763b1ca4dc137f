// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sim/fake_firmware.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/ec_protocol.h"

namespace sim {

namespace {
// What the caller's buffer holds past the size returned. A driver that reads a
// Setup byte beyond the variable then sees the one value that makes each byte
// act (an update request, the guard enabled) on every run, not whatever its
// stack happened to hold.
constexpr uint8_t kPastSizePoison = kUpdateRequested;
} // namespace

std::string GuidText(const EFI_GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid.Data1,
                guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

FakeFirmware::VariableKey FakeFirmware::Key(const std::u16string& name, const EFI_GUID& guid) {
  return {name, GuidText(guid)};
}

EFI_STATUS FakeFirmware::CreateEvent(uint32_t type, uint64_t tpl, uint64_t function,
                                     uint64_t context, uint64_t* event) {
  Call("CreateEvent(type=" + std::to_string(type) + ", tpl=" + std::to_string(tpl) + ")");
  if (create_event_error) {
    return *create_event_error;
  }
  if (type != EVT_NOTIFY_SIGNAL || function == 0) {
    return EFI_INVALID_PARAMETER;
  }
  const uint64_t handle = next_event_++;
  events_[handle] = Event{function, context, true, {}};
  *event = handle;
  return EFI_SUCCESS;
}

EFI_STATUS FakeFirmware::RegisterProtocolNotify(const EFI_GUID& protocol, uint64_t event) {
  Call("RegisterProtocolNotify(" + GuidText(protocol) + ")");
  auto it = events_.find(event);
  if (it == events_.end() || !it->second.open) {
    return EFI_INVALID_PARAMETER;
  }
  it->second.protocols.push_back(protocol);
  return EFI_SUCCESS;
}

EFI_STATUS FakeFirmware::CloseEvent(uint64_t event) {
  Call("CloseEvent");
  auto it = events_.find(event);
  if (it == events_.end() || !it->second.open) {
    return EFI_INVALID_PARAMETER;
  }
  it->second.open = false;
  return EFI_SUCCESS;
}

EFI_STATUS FakeFirmware::Stall(uint64_t microseconds) {
  Call("Stall(" + std::to_string(microseconds) + ")");
  now_us_ += microseconds;
  return EFI_SUCCESS;
}

EFI_STATUS FakeFirmware::GetVariable(const std::u16string& name, const EFI_GUID& guid,
                                     uint32_t* attributes, uint64_t* data_size, uint8_t* data) {
  Call("GetVariable(size=" + std::to_string(*data_size) + ")");
  if (get_variable_error) {
    return *get_variable_error;
  }
  auto it = variables_.find(Key(name, guid));
  if (it == variables_.end()) {
    return EFI_NOT_FOUND;
  }
  const Variable& variable = it->second;
  if (*data_size < variable.data.size()) {
    *data_size = variable.data.size();
    return EFI_BUFFER_TOO_SMALL;
  }
  std::copy(variable.data.begin(), variable.data.end(), data);
  std::fill(data + variable.data.size(), data + *data_size, kPastSizePoison);
  *data_size = variable.data.size();
  if (attributes != nullptr) {
    *attributes = variable.attributes;
  }
  return EFI_SUCCESS;
}

EFI_STATUS FakeFirmware::SetVariable(const std::u16string& name, const EFI_GUID& guid,
                                     uint32_t attributes, uint64_t data_size, const uint8_t* data) {
  Call("SetVariable(attributes=" + std::to_string(attributes) +
       ", size=" + std::to_string(data_size) + ")");
  if (set_variable_error) {
    return *set_variable_error;
  }
  if (data_size == 0) {
    variables_.erase(Key(name, guid));
    return EFI_SUCCESS;
  }
  variables_[Key(name, guid)] = Variable{attributes, std::vector<uint8_t>(data, data + data_size)};
  return EFI_SUCCESS;
}

void FakeFirmware::ResetSystem(EFI_RESET_TYPE type, EFI_STATUS status) {
  Call("ResetSystem(" + std::to_string(type) + ")");
  reset_ = ResetRequest{type, status, now_us_};
}

EFI_STATUS FakeFirmware::SetCursorPosition(uint64_t column, uint64_t row) {
  Call("SetCursorPosition(" + std::to_string(column) + ", " + std::to_string(row) + ")");
  cursor_column_ = column;
  cursor_row_ = row;
  return EFI_SUCCESS;
}

EFI_STATUS FakeFirmware::SetAttribute(uint64_t attribute) {
  Call("SetAttribute(" + std::to_string(attribute) + ")");
  attribute_ = attribute;
  return EFI_SUCCESS;
}

EFI_STATUS FakeFirmware::OutputString(const std::u16string& text) {
  Call("OutputString");
  console_.push_back(ConsoleOutput{cursor_row_, cursor_column_, attribute_, text, now_us_});
  cursor_column_ += text.size();
  return EFI_SUCCESS;
}

EFI_STATUS FakeFirmware::ReadKeyStroke(uint16_t* scan, char16_t* unicode) {
  Call("ReadKeyStroke");
  if (keys_consumed_ == keys_.size() || keys_[keys_consumed_].at_us > now_us_) {
    return EFI_NOT_READY;
  }
  *scan = keys_[keys_consumed_].scan;
  *unicode = keys_[keys_consumed_].unicode;
  ++keys_consumed_;
  return EFI_SUCCESS;
}

std::vector<Notification> FakeFirmware::InstallProtocol(const EFI_GUID& protocol) {
  std::vector<Notification> due;
  for (const auto& [handle, event] : events_) {
    const bool registered = std::any_of(event.protocols.begin(), event.protocols.end(),
                                        [&](const EFI_GUID& g) { return GuidEquals(g, protocol); });
    if (event.open && registered) {
      due.push_back(Notification{event.function, handle, event.context});
    }
  }
  return due;
}

void FakeFirmware::PutVariable(const std::u16string& name, const EFI_GUID& guid,
                               Variable variable) {
  variables_[Key(name, guid)] = std::move(variable);
}

const Variable* FakeFirmware::FindVariable(const std::u16string& name, const EFI_GUID& guid) const {
  auto it = variables_.find(Key(name, guid));
  return it == variables_.end() ? nullptr : &it->second;
}

size_t FakeFirmware::open_events() const {
  return static_cast<size_t>(
      std::count_if(events_.begin(), events_.end(), [](const auto& e) { return e.second.open; }));
}

} // namespace sim
