# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The EDK II lines of docs/integration.md, taken from its fenced blocks: the
builds here use exactly what the guide shows, so the two cannot drift apart."""

import pathlib
import re

GUIDE = pathlib.Path(__file__).resolve().parents[2] / "docs" / "integration.md"

# The source route: the package's source INFs in the platform's own tree.
SOURCE_SECTION = "## From source, in the platform's EDK II tree"
SOURCE_BLOCK_STARTS = {
    "dsc": "[Components.X64]",
    "fdf": "INF firmware/",
}
# The binary route: the prebuilt images and their binary INFs.
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


def blocks(text=None, section=SECTION, starts=None):
    """{name: block text} for every name of starts (BLOCK_STARTS), each found
    exactly once in the guide's section (up to the next heading of its level
    or above)."""
    text = GUIDE.read_text() if text is None else text
    starts = BLOCK_STARTS if starts is None else starts
    start = text.find(section)
    if start < 0:
        raise GuideError(f"{GUIDE.name}: no section '{section}'")
    level = len(section) - len(section.lstrip("#"))
    body = text[start + len(section):]
    # Ends at the next heading of its level or above; a fenced block's
    # lines (an INF's "## @file") are no headings.
    outside = re.sub(r"^```\n.*?^```$", lambda m: "." * len(m.group(0)), body,
                     flags=re.DOTALL | re.MULTILINE)
    end = re.compile(rf"^#{{1,{level}}} ", re.MULTILINE).search(outside)
    fenced = re.findall(r"^```\n(.*?)^```$", body[:end.start() if end else None],
                        re.DOTALL | re.MULTILINE)
    found = {}
    for name, first in starts.items():
        matching = [block for block in fenced if block.startswith(first)]
        if len(matching) != 1:
            raise GuideError(f"{GUIDE.name}: {len(matching)} blocks start with '{first}'")
        found[name] = matching[0]
    return found


def source_blocks(text=None):
    return blocks(text, SOURCE_SECTION, SOURCE_BLOCK_STARTS)


def module_paths(dsc_block):
    """The INF paths the guide's DSC lines name, in order."""
    return [line.strip() for line in dsc_block.splitlines()[1:] if line.strip()]


def constants(dsc_block):
    """{name: value} of the -D constants the guide's DSC lines set."""
    return {name: int(value, 0) for name, value in re.findall(r"-D(\w+)=(\w+)", dsc_block)}
