# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Decodes the firmware's serial console back into what the drivers asked for.

OVMF's terminal turns SetCursorPosition into a cursor-position escape and
SetAttribute into SGR escapes (sent only when the attribute changes), then
passes OutputString's text through. Each run of text is returned with the
cursor position it started at and the UEFI text attribute in force.
"""

import re

TOKEN = re.compile(rb"\x1b\[([0-9;?=]*)([A-Za-z])|([\r\n])|([^\x1b\r\n]+)|(\x1b)")

# ANSI colour number -> UEFI colour (EFI_BLACK, EFI_RED, EFI_GREEN, EFI_BROWN, ...).
ANSI_TO_EFI = {0: 0x0, 1: 0x4, 2: 0x2, 3: 0x6, 4: 0x1, 5: 0x5, 6: 0x3, 7: 0x7}
EFI_BRIGHT = 0x08

YELLOW_ON_RED = 0x4E  # EFI_YELLOW (bright brown) | EFI_BACKGROUND_RED


class Segment:
    def __init__(self, row, column, attribute, text):
        self.row = row
        self.column = column
        self.attribute = attribute
        self.text = text

    def __repr__(self):
        return f"Segment(row={self.row}, col={self.column}, attr={self.attribute:#04x}, {self.text!r})"


def segments(serial):
    """Splits raw serial bytes into Segments; row and column are 0-based."""
    row = column = 0
    bright, foreground, background = False, 7, 0
    result = []
    for match in TOKEN.finditer(serial):
        parameters, command, control, text, _ = match.groups()
        if command == b"H":
            fields = [int(f) if f else 1 for f in parameters.split(b";")] + [1, 1]
            row, column = fields[0] - 1, fields[1] - 1
        elif command == b"m":
            for code in (int(f) if f else 0 for f in parameters.split(b";")):
                if code == 0:
                    bright, foreground, background = False, 7, 0
                elif code == 1:
                    bright = True
                elif 30 <= code <= 37:
                    foreground = code - 30
                elif 40 <= code <= 47:
                    background = code - 40
        elif command == b"J" and parameters == b"2":
            row = column = 0
        elif control == b"\r":
            column = 0
        elif control == b"\n":
            row += 1
        elif text:
            attribute = (ANSI_TO_EFI[background] << 4) | ANSI_TO_EFI[foreground]
            attribute |= EFI_BRIGHT if bright else 0
            decoded = text.decode("latin-1")
            result.append(Segment(row, column, attribute, decoded))
            column += len(decoded)
    return result


def text_at(serial, row, column=0):
    """The segments that start at (row, column), in order."""
    return [s for s in segments(serial) if s.row == row and s.column == column]


def coloured(serial, attribute):
    return [s for s in segments(serial) if s.attribute == attribute]
