#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Runs the firmware-volume unit tests and prints how many passed.

Usage: run_tests.py IMAGE_BUILD_DIR   (the image build that wrote the modules)
"""

import os
import pathlib
import sys
import unittest

HERE = pathlib.Path(__file__).resolve().parent


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    os.environ["EC_IMAGE_DIR"] = sys.argv[1]
    sys.path.insert(0, str(HERE.parents[1] / "tools" / "fv"))
    suite = unittest.defaultTestLoader.discover(str(HERE), pattern="test_*.py")
    result = unittest.TextTestRunner(verbosity=1).run(suite)
    # Tests, not sub-test cases: a failing case fails its whole table.
    def tests(outcomes):
        return {getattr(test, "test_case", test).id() for test, *_ in outcomes}

    failed = len(tests(result.failures + result.errors)
                 | tests((test,) for test in result.unexpectedSuccesses))
    skipped = len(tests(result.skipped))
    passed = result.testsRun - failed - skipped
    print(f"fv unit tests: {passed} passed, {failed} failed, {skipped} skipped")
    # A skip here means a build output is missing: that is a failure too.
    return 0 if failed == 0 and skipped == 0 and result.testsRun else 1


if __name__ == "__main__":
    sys.exit(main())
