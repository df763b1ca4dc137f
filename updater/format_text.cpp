// Stand-in: plain text and %02X only, until the full formatter lands.
#include "updater/format_text.h"

UINT64 FormatTextV(CHAR16* Buffer, UINT64 /*Size*/, const CHAR16* Format, EFI_VA_LIST Args) {
  UINT64 Count = 0;
  while (*Format != 0) {
    if (Format[0] == u'%' && Format[1] == u'0' && Format[2] == u'2' && Format[3] == u'X') {
      const UINT64 Value = EFI_VA_ARG(Args, UINT64);
      const char16_t* Digits = u"0123456789ABCDEF";
      Buffer[Count++] = Digits[(Value >> 4) & 0xF];
      Buffer[Count++] = Digits[Value & 0xF];
      Format += 4;
    } else {
      Buffer[Count++] = *Format++;
    }
  }
  Buffer[Count] = 0;
  return Count;
}

UINT64 EFIAPI FormatText(CHAR16* Buffer, const CHAR16* Format, ...) {
  EFI_VA_LIST Args;
  EFI_VA_START(Args, Format);
  const UINT64 Count = FormatTextV(Buffer, 0, Format, Args);
  EFI_VA_END(Args);
  return Count;
}

UINT64 EFIAPI FormatTextN(CHAR16* Buffer, UINT64 Size, const CHAR16* Format, ...) {
  EFI_VA_LIST Args;
  EFI_VA_START(Args, Format);
  const UINT64 Count = FormatTextV(Buffer, Size, Format, Args);
  EFI_VA_END(Args);
  return Count;
}
