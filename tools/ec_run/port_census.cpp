#include "tools/ec_run/port_census.h"

#include "sim/platform.h"

namespace ec_run {

namespace {

constexpr uint64_t kBlocks = 128;
constexpr uint64_t kBlockBytes = 1024;
constexpr uint64_t kAddressBytes = 3;
constexpr uint64_t kIdBytes = 4;

// Pass-through primitives: every argument byte is a command byte of its own.
constexpr EcTraffic kSelect{1, 0};
constexpr EcTraffic kDeselect{1, 0};
constexpr EcTraffic kSendCommand{2, 0}; // 0x02, opcode
constexpr EcTraffic kSendData{2, 0};    // 0x03, byte
constexpr EcTraffic kReadByte{1, 1};    // 0x04, then the reply

// Flash sequences with a flash that is never busy: one status byte each.
EcTraffic Idle() {
  return kSelect + kSendCommand + kReadByte + kDeselect;
}
EcTraffic LatchChange() { // write enable or write disable, with its status poll
  return Idle() + kSelect + kSendCommand + kSelect + kSendCommand + kReadByte + kDeselect;
}
EcTraffic Erase() {
  return kSelect + kSendCommand + kAddressBytes * kSendData + kDeselect;
}
EcTraffic FastReadBlock() { // address, dummy byte, 1024 reads
  return kSelect + kSendCommand + (kAddressBytes + 1) * kSendData + kBlockBytes * kReadByte;
}
EcTraffic ProgramBlock() { // two bytes a command, a status wait and a new command after each pair
  return kSelect + kSendCommand + kAddressBytes * kSendData +
         (kBlockBytes / 2) * (2 * kSendData + Idle() + kSelect + kSendCommand);
}

} // namespace

EcTraffic BlockTraffic() {
  const EcTraffic write_enable = LatchChange();
  const EcTraffic write_disable = LatchChange();
  return write_enable + Erase() + Idle() + write_disable + Idle() + FastReadBlock() + Idle() +
         write_enable + ProgramBlock() + write_disable + Idle() + write_disable + Idle() +
         FastReadBlock() + Idle();
}

EcTraffic FullUpdateTraffic() {
  const EcTraffic enter{1, 1}; // 0xDC, answered 0x33 at once
  const EcTraffic identify = kSelect + kSendCommand + kIdBytes * kReadByte + kDeselect;
  const EcTraffic leave{1, 0}; // 0xFE
  return enter + Idle() + identify + kBlocks * BlockTraffic() + leave;
}

PortCensus RequiredForFullUpdate() {
  const EcTraffic traffic = FullUpdateTraffic();
  PortCensus census;
  census.command_writes = traffic.commands;
  census.data_reads = traffic.replies;
  census.status_reads = traffic.commands + traffic.replies;
  census.progress_writes = traffic.commands + traffic.replies;
  census.other = 1; // 0x0E to 0xCF9
  return census;
}

PortKind KindOf(const sim::PortAccess& access) {
  const bool in = access.dir == sim::PortDir::In;
  switch (access.port) {
  case sim::kEcCommandPort:
    return in ? PortKind::StatusRead : PortKind::CommandWrite;
  case sim::kEcDataPort:
    return in ? PortKind::DataRead : PortKind::DataWrite;
  case sim::kPostCodePort:
    return in ? PortKind::Other : PortKind::ProgressWrite;
  default:
    return PortKind::Other;
  }
}

const char* KindName(const sim::PortAccess& access) {
  switch (KindOf(access)) {
  case PortKind::CommandWrite:
    return "command write";
  case PortKind::DataWrite:
    return "data write";
  case PortKind::DataRead:
    return "data read";
  case PortKind::StatusRead:
    return "status read";
  case PortKind::ProgressWrite:
    return "progress write";
  case PortKind::Other:
    break;
  }
  return "other";
}

PortCensus CountPorts(const sim::PortLog& log) {
  PortCensus census;
  for (const sim::PortAccess& access : log) {
    switch (KindOf(access)) {
    case PortKind::CommandWrite:
      ++census.command_writes;
      break;
    case PortKind::DataWrite:
      ++census.data_writes;
      break;
    case PortKind::DataRead:
      ++census.data_reads;
      break;
    case PortKind::StatusRead:
      ++census.status_reads;
      break;
    case PortKind::ProgressWrite:
      ++census.progress_writes;
      break;
    case PortKind::Other:
      ++census.other;
      break;
    }
  }
  return census;
}

} // namespace ec_run
