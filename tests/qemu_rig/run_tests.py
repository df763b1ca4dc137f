#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Runs the firmware rig's tests (the ec-model device in the rig's QEMU, the
external model, the port log reader) and prints how many passed. The first
run on a machine builds the rig's QEMU."""
import pathlib
import sys
import unittest

HERE = pathlib.Path(__file__).resolve().parent


def main():
    sys.path.insert(0, str(HERE))
    suite = unittest.defaultTestLoader.discover(str(HERE), pattern="test_*.py")
    result = unittest.TextTestRunner(verbosity=2).run(suite)

    def tests(outcomes):
        return {getattr(test, "test_case", test).id() for test, *_ in outcomes}

    failed = len(tests(result.failures + result.errors))
    passed = result.testsRun - failed
    print(f"qemu rig tests: {passed} passed, {failed} failed")
    return 0 if failed == 0 and result.testsRun else 1


if __name__ == "__main__":
    sys.exit(main())
