// SPDX-License-Identifier: BSD-2-Clause-Patent
// The UTF-16 formatter: one pass over the format, output cut to the caller's
// size, digit scratch and nested GUID and status formatting on the stack.
// Every variable argument occupies one 64-bit slot (the Microsoft x64
// convention), so each is read as UINT64 and narrowed here.
#include "text_format/format_text.h"
#include "text_format/format_text_internal.h"

namespace updater::format {

namespace {

constexpr UINT64 FORMAT_FAILED = ~UINT64{0};
constexpr UINT64 SIGN_BIT_64 = 1ULL << 63;
constexpr UINT32 DECIMAL = 10;
constexpr UINT32 HEXADECIMAL = 16;
constexpr UINT8 CASE_BIT = 0x20; // the ASCII lower-case bit
constexpr UINT64 POSITIVE_LIMIT = 2147483647;
constexpr UINT64 NEGATIVE_LIMIT = 2147483648;

constexpr CHAR16 GUID_FORMAT[] = u"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x";
constexpr CHAR16 NAMED_STATUS_FORMAT[] = u"%S";
constexpr CHAR16 UNNAMED_STATUS_FORMAT[] = u"%S(%X)";
constexpr CHAR8 UNNAMED_STATUS_LABEL[] = "Status Code";
constexpr CHAR8 NULL_POINTER_TEXT[] = "(null)";

UINT8 Low8(CHAR16 Ch) {
  return static_cast<UINT8>(Ch);
}

// g/G and x/X are recognised by the low 8 bits with the case bit cleared; the
// upper-case letter is then told apart by exact comparison.
bool IsLetterOfEitherCase(CHAR16 Ch, CHAR8 Upper) {
  return (Low8(Ch) & ~CASE_BIT) == Upper;
}

bool IsLowerAscii(CHAR16 Ch) {
  return Ch >= u'a' && Ch <= u'z';
}

// The output position and the characters that may still be written before the
// terminator's slot. With no size limit the count starts at the top of the
// unsigned range and is never used up in practice.
struct Output {
  CHAR16* Pos;
  UINT64 Room;
};

// Each writer returns false once only the terminator's slot remains; the
// caller then stops reading the format.
bool Put(Output& Out, CHAR16 Ch) {
  *Out.Pos++ = Ch;
  return --Out.Room != 0;
}

bool Advance(Output& Out, UINT64 Written) {
  Out.Pos += Written;
  Out.Room -= Written;
  return Out.Room != 0;
}

// Slots for a nested call at the current position, terminator included; no
// limit when the outer call has none.
UINT64 NestedSize(const Output& Out, UINT64 Size) {
  return Size == 0 ? 0 : Out.Room + 1;
}

CHAR16 Widen(CHAR16 Ch) {
  return Ch;
}

// 8-bit text widens as signed bytes: 0x80..0xFF become 0xFF80..0xFFFF.
CHAR16 Widen(CHAR8 Ch) {
  return static_cast<CHAR16>(static_cast<int8_t>(Ch));
}

template <typename Char> bool PutText(Output& Out, const Char* Text) {
  for (; *Text != 0; ++Text) {
    if (!Put(Out, Widen(*Text))) {
      return false;
    }
  }
  return true;
}

bool PutNumber(Output& Out, UINT64 Value, UINT32 Base, bool Is64, bool Upper, CHAR16 Fill,
               UINT32 Width) {
  CHAR8 Digits[DIGIT_SCRATCH_SIZE];
  const UINT32 Length = static_cast<UINT32>(ValueToDigits(Value, Digits, Base, Is64) - Digits) + 1;
  // The fill goes in front of the whole digit text, sign included.
  for (UINT32 Filled = Length; Filled < Width; ++Filled) {
    if (!Put(Out, Fill)) {
      return false;
    }
  }
  for (UINT32 Index = Length; Index-- != 0;) {
    CHAR16 Ch = static_cast<CHAR16>(Digits[Index]);
    if (Upper && IsLowerAscii(Ch)) {
      Ch -= CASE_BIT;
    }
    if (!Put(Out, Ch)) {
      return false;
    }
  }
  return true;
}

bool PutGuid(Output& Out, UINT64 Size, const EFI_GUID& Guid, bool Upper) {
  const UINT8* Tail = Guid.Data4;
  const UINT64 Written = FormatTextN(
      Out.Pos, NestedSize(Out, Size), GUID_FORMAT, UINT64{Guid.Data1}, UINT64{Guid.Data2},
      UINT64{Guid.Data3}, UINT64{Tail[0]}, UINT64{Tail[1]}, UINT64{Tail[2]}, UINT64{Tail[3]},
      UINT64{Tail[4]}, UINT64{Tail[5]}, UINT64{Tail[6]}, UINT64{Tail[7]});
  if (Upper) {
    for (UINT64 Index = 0; Index < Written; ++Index) {
      if (IsLowerAscii(Out.Pos[Index])) {
        Out.Pos[Index] -= CASE_BIT;
      }
    }
  }
  return Advance(Out, Written);
}

bool PutStatus(Output& Out, UINT64 Size, EFI_STATUS Status) {
  const CHAR8* Name = StatusName(Status);
  const UINT64 Slots = NestedSize(Out, Size);
  const UINT64 Written = Name != nullptr ? FormatTextN(Out.Pos, Slots, NAMED_STATUS_FORMAT, Name)
                                         : FormatTextN(Out.Pos, Slots, UNNAMED_STATUS_FORMAT,
                                                       UNNAMED_STATUS_LABEL, Status);
  return Advance(Out, Written);
}

UINT64 NextSlot(EFI_VA_LIST& Args) {
  return EFI_VA_ARG(Args, UINT64);
}

template <typename T> const T* NextPointer(EFI_VA_LIST& Args) {
  return reinterpret_cast<const T*>(NextSlot(Args));
}

// One conversion, Format at its letter. A recognised letter is consumed and
// takes its argument; an unrecognised one (an "l" in front of anything but
// d, i, x, X or p included) takes none and is left for the main loop to write
// as text. Width and fill act on the numeric conversions only. Kept out of
// line: inlined into the main loop it costs the image some 450 bytes.
[[gnu::noinline]] bool Convert(Output& Out, UINT64 Size, const CHAR16*& Format, CHAR16 Fill,
                               UINT32 Width, EFI_VA_LIST& Args) {
  const CHAR16 Letter = *Format;
  if (Letter == u's' || Letter == u'S' || Letter == u'a') {
    ++Format;
    // A null text pointer prints a marker instead of being read.
    if (Letter == u's') {
      const CHAR16* Text = NextPointer<CHAR16>(Args);
      return Text != nullptr ? PutText(Out, Text) : PutText(Out, NULL_POINTER_TEXT);
    }
    const CHAR8* Text = NextPointer<CHAR8>(Args);
    return PutText(Out, Text != nullptr ? Text : NULL_POINTER_TEXT);
  }
  if (Letter == u'c') {
    ++Format;
    return Put(Out, static_cast<CHAR16>(NextSlot(Args)));
  }
  if (IsLetterOfEitherCase(Letter, 'G')) {
    ++Format;
    // A null GUID pointer prints the same marker as a null text pointer.
    const EFI_GUID* Guid = NextPointer<EFI_GUID>(Args);
    return Guid != nullptr ? PutGuid(Out, Size, *Guid, Letter == u'G')
                           : PutText(Out, NULL_POINTER_TEXT);
  }
  if (Letter == u'r') {
    ++Format;
    return PutStatus(Out, Size, NextSlot(Args));
  }

  const bool Long = Letter == u'l';
  const CHAR16 Kind = Long ? Format[1] : Letter;
  UINT32 Base = HEXADECIMAL;
  bool Is64 = Long;
  bool Upper = Kind == u'X';
  if (Kind == u'd' || Kind == u'i') {
    Base = DECIMAL;
  } else if (Kind == u'p') {
    Is64 = true;
    Upper = true;
  } else if (!IsLetterOfEitherCase(Kind, 'X')) {
    Format += Long ? 1 : 0;
    return true;
  }
  Format += Long ? 2 : 1;
  UINT64 Value = NextSlot(Args);
  if (!Is64) {
    Value = static_cast<UINT64>(static_cast<INT64>(static_cast<INT32>(Value)));
  }
  return PutNumber(Out, Value, Base, Is64, Upper, Fill, Width);
}

} // namespace

CHAR8* ValueToDigits(UINT64 Value, CHAR8* Scratch, UINT32 Base, bool Is64) {
  const bool Negative = (Value & SIGN_BIT_64) != 0;
  UINT64 Magnitude = Value;
  if (Negative && Base == DECIMAL) {
    Magnitude = 0 - Value; // the most negative value keeps its full magnitude
  } else if (Negative && !Is64) {
    Magnitude = static_cast<UINT32>(Value);
  }
  CHAR8* Out = Scratch;
  do {
    const UINT32 Digit = static_cast<UINT32>(Magnitude % Base);
    *Out++ = static_cast<CHAR8>(Digit < DECIMAL ? '0' + Digit : 'a' + (Digit - DECIMAL));
    Magnitude /= Base;
  } while (Magnitude != 0);
  if (Negative && Base == DECIMAL) {
    *Out++ = '-';
  }
  *Out = 0;
  return Out - 1;
}

INT32 ParseDecimal(const CHAR16* Text, const CHAR16** End) {
  while (Low8(*Text) == ' ' || Low8(*Text) == '\t') {
    ++Text;
  }
  const bool Negative = Low8(*Text) == '-';
  Text += Negative ? 1 : 0;
  Text += Low8(*Text) == '+' ? 1 : 0;
  // Accumulation stops once past the negative limit, which already saturates
  // either sign; the remaining digits are still consumed.
  UINT64 Value = 0;
  for (; Low8(*Text) >= '0' && Low8(*Text) <= '9'; ++Text) {
    if (Value <= NEGATIVE_LIMIT) {
      Value = Value * DECIMAL + (Low8(*Text) - '0');
    }
  }
  *End = Text;
  const UINT64 Limit = Negative ? NEGATIVE_LIMIT : POSITIVE_LIMIT;
  const UINT32 Magnitude = static_cast<UINT32>(Value < Limit ? Value : Limit);
  return static_cast<INT32>(Negative ? 0U - Magnitude : Magnitude);
}

} // namespace updater::format

UINT64 FormatTextV(CHAR16* Buffer, UINT64 Size, const CHAR16* Format, EFI_VA_LIST Args) {
  using namespace updater::format;
  if (Buffer == nullptr || Format == nullptr) {
    return FORMAT_FAILED;
  }
  // Size 1 leaves no room before the terminator: Room is 0 and the format is
  // never read. Size 0 wraps Room to the top of the range: no limit.
  Output Out{Buffer, Size - 1};
  bool More = Out.Room != 0;
  while (More && *Format != 0) {
    if (*Format != u'%') {
      More = Put(Out, *Format++);
      continue;
    }
    ++Format;
    if (*Format == u'%') {
      More = Put(Out, *Format++);
      continue;
    }
    CHAR16 Fill = u' ';
    if (*Format == u'0') {
      Fill = u'0';
      ++Format;
    }
    UINT32 Width; // compared as an unsigned count: a negative width is huge
    if (*Format == u'*') {
      Width = static_cast<UINT32>(NextSlot(Args));
      ++Format;
    } else {
      Width = static_cast<UINT32>(ParseDecimal(Format, &Format));
    }
    // Without a size limit a negative width would fill past any buffer, so it
    // counts as no width there. With a size, the fill stops at the limit.
    if (Size == 0 && static_cast<INT32>(Width) < 0) {
      Width = 0;
    }
    More = Convert(Out, Size, Format, Fill, Width, Args);
  }
  *Out.Pos = 0;
  return static_cast<UINT64>(Out.Pos - Buffer);
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
