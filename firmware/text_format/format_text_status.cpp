// SPDX-License-Identifier: BSD-2-Clause-Patent
// Names of EFI_STATUS values for the formatter's %r conversion. Every table
// row is a fixed-width character array, so the tables hold no pointers and
// need no relocations in the image.
#include "text_format/format_text_internal.h"

namespace updater::format {

namespace {

// Bit 63 marks an error; bits 62 and 61 open further ranges of codes, and the
// code is the low 61 bits.
constexpr EFI_STATUS STATUS_BIT_62 = 1ULL << 62;
constexpr EFI_STATUS STATUS_BIT_61 = 1ULL << 61;
constexpr EFI_STATUS STATUS_CODE_MASK = STATUS_BIT_61 - 1;

const CHAR8 SuccessName[] = "EFI_SUCCESS";

// Codes 1 to 5.
const CHAR8 PlainWarnings[][26] = {
    "EFI_WARN_UNKNOWN_GLYPH",    "EFI_WARN_DELETE_FAILURE", "EFI_WARN_WRITE_FAILURE",
    "EFI_WARN_BUFFER_TOO_SMALL", "EFI_WARN_STALE_DATA",
};

// Codes 0 and 1.
const CHAR8 Bit61Warnings[][35] = {
    "EFI_WARN_INTERRUPT_SOURCE_PENDING",
    "EFI_WARN_INTERRUPT_SOURCE_QUIESCED",
};

// Codes 0 to 2.
const CHAR8 Bit61Errors[][25] = {
    "EFI_INTERRUPT_PENDING",
    "EFI_REQUEST_UNLOAD_IMAGE",
    "EFI_NOT_AVAILABLE_YET",
};

// Codes 1 and 2.
const CHAR8 Bit62Errors[][25] = {
    "EFI_DBE_EOF",
    "EFI_DBE_BOF",
};

// Codes 1 to 35.
const CHAR8 PlainErrors[][25] = {
    "EFI_LOAD_ERROR",           "EFI_INVALID_PARAMETER",  "EFI_UNSUPPORTED",
    "EFI_BAD_BUFFER_SIZE",      "EFI_BUFFER_TOO_SMALL",   "EFI_NOT_READY",
    "EFI_DEVICE_ERROR",         "EFI_WRITE_PROTECTED",    "EFI_OUT_OF_RESOURCES",
    "EFI_VOLUME_CORRUPTED",     "EFI_VOLUME_FULL",        "EFI_NO_MEDIA",
    "EFI_MEDIA_CHANGED",        "EFI_NOT_FOUND",          "EFI_ACCESS_DENIED",
    "EFI_NO_RESPONSE",          "EFI_NO_MAPPING",         "EFI_TIMEOUT",
    "EFI_NOT_STARTED",          "EFI_ALREADY_STARTED",    "EFI_ABORTED",
    "EFI_ICMP_ERROR",           "EFI_TFTP_ERROR",         "EFI_PROTOCOL_ERROR",
    "EFI_INCOMPATIBLE_VERSION", "EFI_SECURITY_VIOLATION", "EFI_CRC_ERROR",
    "EFI_END_OF_MEDIA",         "EFI_UNDEFINED_29",       "EFI_UNDEFINED_30",
    "EFI_END_OF_FILE",          "EFI_INVALID_LANGUAGE",   "EFI_COMPROMISED_DATA",
    "EFI_IP_ADDRESS_CONFLICT",  "EFI_HTTP_ERROR",
};

// The row for Code in a table whose first row is code First, or null.
template <UINTN Rows, UINTN Width>
const CHAR8* TableRow(const CHAR8 (&Table)[Rows][Width], EFI_STATUS Code, EFI_STATUS First) {
  return Code >= First && Code - First < Rows ? Table[Code - First] : nullptr;
}

} // namespace

const CHAR8* StatusName(EFI_STATUS Status) {
  if (Status == EFI_SUCCESS) {
    return SuccessName;
  }
  const EFI_STATUS Code = Status & STATUS_CODE_MASK;
  if (!EFI_ERROR(Status)) {
    if ((Status & STATUS_BIT_61) != 0) {
      return TableRow(Bit61Warnings, Code, 0);
    }
    // The whole value is compared, so a warning with bit 62 set has no name.
    return TableRow(PlainWarnings, Status, 1);
  }
  if ((Status & STATUS_BIT_61) != 0) {
    return TableRow(Bit61Errors, Code, 0);
  }
  if ((Status & STATUS_BIT_62) != 0) {
    return TableRow(Bit62Errors, Code, 1);
  }
  return TableRow(PlainErrors, Code, 1);
}

} // namespace updater::format
