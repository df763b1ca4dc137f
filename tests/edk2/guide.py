# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The EDK II lines of docs/integration.md, taken from its fenced blocks: the
builds here use exactly what the guide shows, so the two cannot drift apart."""

import pathlib
import re

GUIDE = pathlib.Path(__file__).resolve().parents[2] / "docs" / "integration.md"
SECTION = "#### In an EDK II platform build"

# What each block starts with, by the name the builds ask for.
BLOCK_STARTS = {
    "inf": "## @file",
    "dsc": "[Components.X64]",
    "fdf": "INF RuleOverride = BINARY",
    "rule": "[Rule.Common.DXE_DRIVER.BINARY]",
    "no_rebase": "FvForceRebase = FALSE",
}


class GuideError(Exception):
    pass


def blocks(text=None):
    """{name: block text} for every name of BLOCK_STARTS, each found exactly once
    in the guide's EDK II section."""
    text = GUIDE.read_text() if text is None else text
    start = text.find(SECTION)
    if start < 0:
        raise GuideError(f"{GUIDE.name}: no section '{SECTION}'")
    end = text.find("\n#### ", start + len(SECTION))
    fenced = re.findall(r"^```\n(.*?)^```$", text[start:end if end > 0 else None],
                        re.DOTALL | re.MULTILINE)
    found = {}
    for name, first in BLOCK_STARTS.items():
        matching = [block for block in fenced if block.startswith(first)]
        if len(matching) != 1:
            raise GuideError(f"{GUIDE.name}: {len(matching)} blocks start with '{first}'")
        found[name] = matching[0]
    return found


def module_paths(dsc_block):
    """The INF paths the guide's DSC lines name, in order."""
    return [line.strip() for line in dsc_block.splitlines()[1:] if line.strip()]
