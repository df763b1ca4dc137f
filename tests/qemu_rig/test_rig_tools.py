# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The external model's EC behaviour, without QEMU."""
import unittest

import rig  # noqa: F401  (puts tools/qemu_rig on the path)
import external_model


def status(ec):
    return ec.read(external_model.COMMAND_PORT)


class ExternalModel(unittest.TestCase):
    def test_host_mistakes_are_recorded(self):
        cases = {
            "reply read with OBF clear": ([("r", 0x62)], 0xFF, ["data read while OBF was clear"]),
            "command where data was due": ([("w", 0x66, 0xAA), ("w", 0x66, 0x80)], None,
                                           ["command 0x80 while a data byte was expected"]),
            "unknown command": ([("w", 0x66, 0x42)], None, ["unknown command 0x42"]),
            "data with no command": ([("w", 0x62, 0x07)], None,
                                     ["data byte 0x07 with no command expecting it"]),
            # A platform reset drops the reply the host never collected.
            "reset loses the reply": ([("w", 0x66, 0x80), ("w", 0x62, 0x93), ("x",), ("r", 0x62)],
                                      0xFF, ["data read while OBF was clear"]),
        }
        for name, (steps, last_read, violations) in cases.items():
            with self.subTest(name):
                ec = external_model.Ec({0x93: 0x55})
                value = None
                for step in steps:
                    if step[0] == "r":
                        value = ec.read(step[1])
                    elif step[0] == "w":
                        ec.write(step[1], step[2])
                    else:
                        ec.platform_reset()
                self.assertEqual(value, last_read)
                self.assertEqual(ec.seen["violations"], violations)

    def test_register_read_sets_and_clears_obf(self):
        ec = external_model.Ec({0x93: 0x55})
        self.assertEqual(status(ec), 0)
        ec.write(0x66, 0x80)
        ec.write(0x62, 0x93)
        self.assertEqual(status(ec), external_model.STATUS_OBF)
        self.assertEqual(ec.read(0x62), 0x55)
        self.assertEqual(status(ec), 0)
        ec.write(0x66, 0x80)
        ec.write(0x62, 0x10)  # not given on the command line: 0
        self.assertEqual(ec.read(0x62), 0x00)
        self.assertEqual(ec.seen["register_reads"], [0x93, 0x10])


if __name__ == "__main__":
    unittest.main()
