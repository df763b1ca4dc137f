// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target for the formatter: builds a random format with matching
// arguments (text and GUID pointers always point into storage owned here, or
// are null) and checks the size rule for several sizes. Each cut run writes
// into a buffer of exactly its size, so AddressSanitizer reports any write
// outside it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "text_format/format_text.h"

namespace {

constexpr size_t SLOTS = 24;
constexpr size_t MAX_TOKENS = 40;
constexpr size_t MAX_PLAIN_RUN = 8;
constexpr size_t MAX_TEXT = 40;
constexpr UINT32 MAX_WIDTH = 300;
constexpr size_t RANDOM_SIZES = 4;
// Roomy enough for the longest output the generator can produce, so a run
// with this size is cut only by a negative width.
constexpr UINT64 ROOMY = 1 << 14;

enum class Takes { Nothing, Number, Status, Wide, Narrow, Guid };

struct Letter {
  const CHAR16* Text;
  Takes Arg;
};

// Conversion letters and the argument each takes. The odd characters go
// through the low-8-bit case rule and the unrecognised-letter path.
constexpr Letter LETTERS[] = {
    {u"s", Takes::Wide},      {u"S", Takes::Narrow},       {u"a", Takes::Narrow},
    {u"c", Takes::Number},    {u"g", Takes::Guid},         {u"G", Takes::Guid},
    {u"\u0167", Takes::Guid}, {u"\u0147", Takes::Guid},    {u"r", Takes::Status},
    {u"d", Takes::Number},    {u"i", Takes::Number},       {u"x", Takes::Number},
    {u"X", Takes::Number},    {u"\u0178", Takes::Number},  {u"\u0158", Takes::Number},
    {u"p", Takes::Number},    {u"ld", Takes::Number},      {u"li", Takes::Number},
    {u"lx", Takes::Number},   {u"lX", Takes::Number},      {u"lp", Takes::Number},
    {u"q", Takes::Nothing},   {u"ls", Takes::Nothing},     {u"lld", Takes::Nothing},
    {u"lr", Takes::Nothing},  {u"\u0173", Takes::Nothing}, {u"l\u0167", Takes::Nothing},
};

// Blanks and tabs, also as characters whose low 8 bits are a blank or a tab.
constexpr CHAR16 BLANKS[] = {u' ', u'\t', 0x0120, 0x0109};

struct Call {
  std::u16string Format;
  std::array<UINT64, SLOTS> Slots{};
  size_t Used = 0;
  bool NegativeWidth = false;
  // Deques keep element addresses stable as they grow.
  std::deque<std::u16string> Wide;
  std::deque<std::string> Narrow;
  std::deque<EFI_GUID> Guids;
};

void TakeSlot(Call& C, UINT64 Value) {
  C.Slots[C.Used++] = Value;
}

template <typename T> UINT64 Pointer(const T* P) {
  return reinterpret_cast<UINT64>(P);
}

void AddPlain(FuzzedDataProvider& In, Call& C) {
  for (size_t Count = In.ConsumeIntegralInRange<size_t>(1, MAX_PLAIN_RUN); Count != 0; --Count) {
    const CHAR16 Ch = In.ConsumeIntegral<UINT16>();
    C.Format += Ch == 0 || Ch == u'%' ? u'.' : Ch;
  }
}

// A width that ParseDecimal reads to its end: blanks, signs, then digits.
void AddDecimalWidth(FuzzedDataProvider& In, Call& C) {
  for (size_t Count = In.ConsumeIntegralInRange<size_t>(0, 2); Count != 0; --Count) {
    C.Format += In.PickValueInArray(BLANKS);
  }
  const bool Minus = In.ConsumeIntegralInRange(0, 3) == 0;
  C.Format += Minus ? u"-" : u"";
  C.Format += In.ConsumeBool() ? u"+" : u"";
  const UINT32 Width = In.ConsumeIntegralInRange<UINT32>(0, MAX_WIDTH);
  if (In.ConsumeBool()) {
    // High bytes set: digits are read by their low 8 bits.
    for (CHAR16 Ch : std::to_string(Width)) {
      C.Format += static_cast<CHAR16>(Ch | 0x0100);
    }
  } else if (Width != 0 || In.ConsumeBool()) {
    C.Format += std::u16string(In.ConsumeIntegralInRange<size_t>(0, 2), u'0');
    for (char Ch : std::to_string(Width)) {
      C.Format += static_cast<CHAR16>(Ch);
    }
  }
  C.NegativeWidth |= Minus && Width != 0;
}

void AddStarWidth(FuzzedDataProvider& In, Call& C) {
  C.Format += u'*';
  const UINT64 High = In.ConsumeIntegral<UINT64>() << 32;
  if (In.ConsumeIntegralInRange(0, 3) != 0) {
    TakeSlot(C, High | In.ConsumeIntegralInRange<UINT32>(0, MAX_WIDTH));
  } else {
    TakeSlot(C, High | In.ConsumeIntegralInRange<UINT32>(0x80000000, 0xFFFFFFFF));
    C.NegativeWidth = true;
  }
}

UINT64 StatusArgument(FuzzedDataProvider& In) {
  const UINT64 TopBits = In.ConsumeIntegralInRange<UINT64>(0, 7) << 61;
  return TopBits | (In.ConsumeBool() ? In.ConsumeIntegralInRange<UINT64>(0, 40)
                                     : In.ConsumeIntegral<UINT64>() >> 3);
}

void AddArgument(FuzzedDataProvider& In, Call& C, Takes Arg) {
  const bool Null = Arg >= Takes::Wide && In.ConsumeIntegralInRange(0, 7) == 0;
  switch (Arg) {
  case Takes::Nothing:
    return;
  case Takes::Number:
    return TakeSlot(C, In.ConsumeIntegral<UINT64>());
  case Takes::Status:
    return TakeSlot(C, StatusArgument(In));
  case Takes::Wide: {
    std::u16string Text;
    for (size_t Count = In.ConsumeIntegralInRange<size_t>(0, MAX_TEXT); Count != 0; --Count) {
      Text += static_cast<CHAR16>(In.ConsumeIntegralInRange<UINT16>(1, 0xFFFF));
    }
    C.Wide.push_back(Text);
    return TakeSlot(C, Null ? 0 : Pointer(C.Wide.back().c_str()));
  }
  case Takes::Narrow: {
    std::string Text;
    for (size_t Count = In.ConsumeIntegralInRange<size_t>(0, MAX_TEXT); Count != 0; --Count) {
      Text += static_cast<char>(In.ConsumeIntegralInRange<UINT8>(1, 0xFF));
    }
    C.Narrow.push_back(Text);
    return TakeSlot(C, Null ? 0 : Pointer(C.Narrow.back().c_str()));
  }
  case Takes::Guid: {
    EFI_GUID Guid{};
    const std::vector<UINT8> Bytes = In.ConsumeBytes<UINT8>(sizeof Guid);
    std::copy(Bytes.begin(), Bytes.end(), reinterpret_cast<UINT8*>(&Guid));
    C.Guids.push_back(Guid);
    return TakeSlot(C, Null ? 0 : Pointer(&C.Guids.back()));
  }
  }
}

void AddConversion(FuzzedDataProvider& In, Call& C) {
  C.Format += u'%';
  C.Format += In.ConsumeBool() ? u"0" : u"";
  switch (In.ConsumeIntegralInRange(0, 2)) {
  case 0:
    AddDecimalWidth(In, C);
    break;
  case 1:
    AddStarWidth(In, C);
    break;
  default:
    break;
  }
  const Letter& L = In.PickValueInArray(LETTERS);
  C.Format += L.Text;
  AddArgument(In, C, L.Arg);
}

Call BuildCall(FuzzedDataProvider& In) {
  Call C;
  // Every conversion takes at most two slots: a "*" width and its argument.
  for (size_t Token = 0; Token < MAX_TOKENS && C.Used + 2 <= SLOTS && In.remaining_bytes() != 0;
       ++Token) {
    switch (In.ConsumeIntegralInRange(0, 4)) {
    case 0:
    case 1:
      AddPlain(In, C);
      break;
    case 2:
      C.Format += u"%%";
      break;
    default:
      AddConversion(In, C);
      break;
    }
  }
  if (In.ConsumeBool()) {
    C.Format += u'%'; // a lone "%" at the end
  }
  return C;
}

template <size_t... Index>
UINT64 Run(const Call& C, CHAR16* Buffer, UINT64 Size, std::index_sequence<Index...>) {
  return FormatTextN(Buffer, Size, C.Format.c_str(), C.Slots[Index]...);
}

UINT64 Run(const Call& C, CHAR16* Buffer, UINT64 Size) {
  return Run(C, Buffer, Size, std::make_index_sequence<SLOTS>());
}

void Require(bool Holds, const char* What) {
  if (!Holds) {
    std::fprintf(stderr, "size rule broken: %s\n", What);
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Length) {
  FuzzedDataProvider In(Data, Length);
  const Call C = BuildCall(In);

  const auto Roomy = std::make_unique_for_overwrite<CHAR16[]>(ROOMY);
  const UINT64 RoomyCount = Run(C, Roomy.get(), ROOMY);
  Require(RoomyCount < ROOMY && Roomy[RoomyCount] == 0, "roomy run not terminated");
  Require(C.NegativeWidth || RoomyCount < ROOMY - 1, "roomy run cut without a negative width");

  // Without a limit a negative width counts as none, so the output stays
  // bounded; with no negative width it matches the roomy run.
  const auto Unlimited = std::make_unique_for_overwrite<CHAR16[]>(ROOMY);
  const UINT64 UnlimitedCount = Run(C, Unlimited.get(), 0);
  Require(UnlimitedCount < ROOMY - 1, "unlimited run too long");
  if (!C.NegativeWidth) {
    Require(UnlimitedCount == RoomyCount &&
                std::equal(Roomy.get(), Roomy.get() + RoomyCount + 1, Unlimited.get()),
            "unlimited run differs from roomy run");
  }

  std::vector<UINT64> Sizes = {1, 2, RoomyCount, RoomyCount + 1, RoomyCount + 2};
  for (size_t Count = 0; Count < RANDOM_SIZES; ++Count) {
    Sizes.push_back(In.ConsumeIntegralInRange<UINT64>(1, RoomyCount + 2));
  }
  for (const UINT64 Size : Sizes) {
    if (Size == 0 || Size > ROOMY) {
      continue;
    }
    const auto Buffer = std::make_unique_for_overwrite<CHAR16[]>(Size); // exactly Size slots
    const UINT64 Count = Run(C, Buffer.get(), Size);
    Require(Count == std::min(Size - 1, RoomyCount), "wrong count");
    Require(std::equal(Buffer.get(), Buffer.get() + Count, Roomy.get()), "not a prefix");
    Require(Buffer[Count] == 0, "no terminator after the count");
  }
  return 0;
}
