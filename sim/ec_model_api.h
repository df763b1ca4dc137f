// SPDX-License-Identifier: BSD-2-Clause-Patent
/* The EC model's C interface: how a host outside this project's C++ build
 * (the QEMU device of the firmware rig, a bridge to other tools) puts the
 * simulated EC and its serial flash behind the platform's ports. One model is
 * one EC on standby power: opening it is a cold start, closing it removes
 * standby power. The library is loaded at run time (dlopen), so the names and
 * the layout of this interface change only with EC_MODEL_API_VERSION.
 *
 * Settings file: one "key = value" per line, '#' starts a comment, numbers
 * are decimal or 0x-prefixed hexadecimal. Unknown keys are refused.
 *   ec_busy_input = N            status reads with IBF still set after each byte written
 *   ec_busy_output = N           status reads with OBF still clear before each reply
 *   ec_busy_at_start = N         IBF held for N status reads at power-on
 *   replies_before_ready = N     replies to the pass-through request before 0x33; -1: never
 *   not_ready_reply = 0xNN       the reply sent until then
 *   register 0xNN = 0xVV         an EC register as the ACPI EC read command answers it
 *   flash_id = 0xAA 0xBB 0xCC 0xDD    the flash identification bytes
 *   flash_busy_erase = N         flash status reads still busy after each erase
 *   flash_busy_program = N       ... after each word program
 *   flash_busy_forever = 0|1     the flash busy bit never clears
 *   flash_busy_write_enable = N  busy shows with the latch for N reads after write enable
 *   flash_latch_write_disable = N  the latch still shows for N reads after write disable
 *   stuck_erase_address = 0xADDR, stuck_value = 0xNN      a byte erase leaves at stuck_value
 *   bad_program_address = 0xADDR, bad_program_flip = 0xNN a byte that programs with bits flipped
 *   flash_file = PATH            the EC flash's contents: read at open when the file exists
 *                                (exactly 128 KiB), erased otherwise; written at close
 *   report_file = PATH           a JSON report of the EC's view, written at close
 */
#ifndef EC_MODEL_API_H
#define EC_MODEL_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define EC_MODEL_API_VERSION 1u

typedef struct ec_model ec_model;

/* EC_MODEL_API_VERSION as the library was built; a loader refuses another. */
uint32_t ec_model_api_version(void);

/* A cold start with the settings in settings_path (NULL: every default).
 * NULL on a bad file or setting, with a one-line reason in error. */
ec_model* ec_model_open(const char* settings_path, char* error, size_t error_size);

/* One byte-wide port access of the host: 0x62 (data), 0x66 (command and
 * status), 0x80 (progress codes) and 0xCF9 (reset control, writes only). */
uint8_t ec_model_read(ec_model* model, uint16_t port);
void ec_model_write(ec_model* model, uint16_t port, uint8_t value);

/* The platform reset (PLTRST#): the host side restarts, the EC stays on
 * standby power. */
void ec_model_platform_reset(ec_model* model);

/* Standby power removed: writes the flash file and the report, frees model. */
void ec_model_close(ec_model* model);

#ifdef __cplusplus
}
#endif

#endif
