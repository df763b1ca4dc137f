// SPDX-License-Identifier: BSD-2-Clause-Patent
/* The firmware rig's port log: what the EC device of the emulated machine
 * saw, one fixed-size little-endian record per event, so a reader can split
 * the log anywhere and a log cut short by a kill loses at most its last
 * record. Plain C: the QEMU device writes it, the C++ tools read it. */
#ifndef EC_PORT_LOG_RECORD_H
#define EC_PORT_LOG_RECORD_H

#include <stdint.h>

#define PORT_LOG_RECORD_SIZE 16

/* Where each field starts in a record. */
#define PORT_LOG_TIME_AT 0   /* u64 QEMU virtual time in ns */
#define PORT_LOG_PORT_AT 8   /* u16 port; 0 for a reset or a power cut */
#define PORT_LOG_KIND_AT 10  /* one of the kinds below */
#define PORT_LOG_VALUE_AT 11 /* the byte read or written; 0 otherwise */
#define PORT_LOG_ZERO_AT 12  /* u32, always zero */

#define PORT_LOG_READ 'i'
#define PORT_LOG_WRITE 'o'
#define PORT_LOG_RESET 'r'     /* the platform reset (PLTRST#) */
#define PORT_LOG_POWER_CUT 'p' /* the EC and its flash lost standby power */

struct port_log_record {
  uint64_t time_ns;
  uint16_t port;
  uint8_t kind;
  uint8_t value;
  uint32_t zero;
};

static inline void port_log_put_le(uint8_t* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; i++) {
    out[i] = (uint8_t)(value >> (8 * i));
  }
}

static inline uint64_t port_log_get_le(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; i--) {
    value = value << 8 | in[i];
  }
  return value;
}

static inline void port_log_record_put(uint8_t out[PORT_LOG_RECORD_SIZE],
                                       const struct port_log_record* record) {
  port_log_put_le(out + PORT_LOG_TIME_AT, record->time_ns, 8);
  port_log_put_le(out + PORT_LOG_PORT_AT, record->port, 2);
  out[PORT_LOG_KIND_AT] = record->kind;
  out[PORT_LOG_VALUE_AT] = record->value;
  port_log_put_le(out + PORT_LOG_ZERO_AT, record->zero, 4);
}

static inline struct port_log_record port_log_record_get(const uint8_t in[PORT_LOG_RECORD_SIZE]) {
  struct port_log_record record;
  record.time_ns = port_log_get_le(in + PORT_LOG_TIME_AT, 8);
  record.port = (uint16_t)port_log_get_le(in + PORT_LOG_PORT_AT, 2);
  record.kind = in[PORT_LOG_KIND_AT];
  record.value = in[PORT_LOG_VALUE_AT];
  record.zero = (uint32_t)port_log_get_le(in + PORT_LOG_ZERO_AT, 4);
  return record;
}

#endif /* EC_PORT_LOG_RECORD_H */
