# SPDX-License-Identifier: BSD-2-Clause-Patent
"""./run firmware's block progress on stderr, beside the firmware's console
mirrored on the same terminal.

The firmware draws its console by moving the cursor to absolute rows and
columns, so a line rewritten in place at the cursor lands on whatever row the
firmware drew last (the success message among them). On a terminal the
progress therefore has a row of its own, the last: the rows above it are the
scroll region, which the console's text scrolls in and never leaves, and each
update saves the cursor, writes that row and restores the cursor (with the
firmware's colours). Elsewhere it is a line each 16 blocks verified and one
at the end."""

import os
import re
import sys

SAVE_CURSOR, RESTORE_CURSOR = "\x1b7", "\x1b8"
RESET_SCROLL_REGION = "\x1b[r"
PLAIN_CLEARED_LINE = "\x1b[0m\x1b[2K"
# One whole escape sequence: CSI (parameters, then a final byte) or a two-byte one.
WHOLE_ESCAPE = re.compile(rb"\x1b(\[[0-?]*[ -/]*[@-~]|[^\[])")


def whole_sequences(data):
    """How much of data can be shown now: all but an escape sequence cut at its
    end, so that the status row is never drawn in the middle of one."""
    start = data.rfind(b"\x1b")
    if start < 0 or WHOLE_ESCAPE.match(data, start):
        return len(data)
    return start


class ProgressLine:
    BLOCKS_PER_LOGGED_LINE = 16

    def __init__(self, stream=None):
        self.stream = stream or sys.stderr
        self.rows = os.get_terminal_size(self.stream.fileno()).lines if self.stream.isatty() else 0
        self.last = (0, 0)
        self.logged = 0

    @staticmethod
    def text(erased, verified):
        return f"EC flash: {erased:3}/128 blocks erased, {verified:3}/128 verified"

    @property
    def own_row(self):
        return self.rows >= 2

    def start(self):
        """Keeps the last row for the progress. The cursor first leaves that
        row (a new line scrolls the terminal if it is there)."""
        if self.own_row:
            self._write(f"\n\x1b[A{SAVE_CURSOR}\x1b[1;{self.rows - 1}r{RESTORE_CURSOR}")

    def _write(self, text):
        self.stream.write(text)
        self.stream.flush()

    def _on_own_row(self, text):
        self._write(f"{SAVE_CURSOR}\x1b[{self.rows};1H{PLAIN_CLEARED_LINE}{text}{RESTORE_CURSOR}")

    def show(self, erased, verified):
        if (erased, verified) == self.last:
            return
        self.last = (erased, verified)
        if self.own_row:
            self._on_own_row(self.text(erased, verified))
        elif verified // self.BLOCKS_PER_LOGGED_LINE > self.logged // self.BLOCKS_PER_LOGGED_LINE:
            self._write(self.text(erased, verified) + "\n")
            self.logged = verified

    def finish(self, erased, verified):
        """The final counts (the last verify ends with the update). On a
        terminal the last row is cleared and the whole screen scrolls again;
        the counts go on the row below the cursor, where the firmware stopped,
        so that the console's last screen stays in view above them."""
        drawn = (erased, verified) != (0, 0) or self.last != (0, 0)
        if self.own_row:
            self._on_own_row("")
            self._write(f"{SAVE_CURSOR}{RESET_SCROLL_REGION}{RESTORE_CURSOR}")
            if drawn:
                self._write(f"\r\n{self.text(erased, verified)}\n")
        elif drawn and self.logged != verified:
            self._write(self.text(erased, verified) + "\n")
