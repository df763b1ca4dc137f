// SPDX-License-Identifier: BSD-2-Clause-Patent
// The version banner and the five-second chance to skip the update.
#include "text_format/format_text.h"
#include "updater/ec_version.h"
#include "updater/updater.h"

namespace updater {

namespace {
constexpr UINTN BANNER_LENGTH = 80;
constexpr int KEY_POLLS = 50;
constexpr UINTN KEY_POLL_US = 100000;
} // namespace

PromptAnswer UpdatePrompt() {
  CHAR16 Banner[BANNER_LENGTH];
  FormatText(Banner, u"The preparing update EC version is: %02X.%02X.%02X",
             static_cast<UINTN>(EcVersionField1), static_cast<UINTN>(EcVersionField2),
             static_cast<UINTN>(EcVersionField3));
  ShowMessage(ROW_BANNER, Banner);
  ShowMessage(ROW_PROMPT, u"Please press 'Q' within 5 seconds if you want to skip this update, "
                          u"otherwise system would start updating EC.");

  for (int Poll = 0; Poll < KEY_POLLS; ++Poll) {
    BootServices->Stall(KEY_POLL_US);
    EFI_INPUT_KEY Key;
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL* ConIn = SystemTable->ConIn;
    if (!EFI_ERROR(ConIn->ReadKeyStroke(ConIn, &Key)) &&
        (Key.UnicodeChar == u'Q' || Key.UnicodeChar == u'q')) {
      return PromptAnswer::Skip;
    }
  }
  return PromptAnswer::Proceed;
}

} // namespace updater
