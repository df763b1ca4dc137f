# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Tiny guests for the device tests: a 64 KiB BIOS image of 16-bit real-mode
code that makes a given list of port accesses and halts, so every access the
device sees is known in advance.

Steps:
  ("out", port, value)   write a byte
  ("in", port)           read a byte and write what was read to port 0x80,
                         so the log shows the value the guest received
  ("loop", count, steps) repeat steps count times (ECX counter)
  ("restart",)           write 0x0E to 0xCF9 the first time; after the
                         restart the guest runs from the start again, skips
                         the restart and carries on with the steps after it
"""

BIOS_SIZE = 64 << 10
RESET_VECTOR = BIOS_SIZE - 16
PROGRESS_PORT = 0x80
RESTART_FLAG = 0x0500  # a RAM byte: a system reset keeps guest RAM


def _port_byte(port, short, long_):
    # in/out with an 8-bit port number, or through DX above 0xFF.
    if port < 0x100:
        return bytes([short, port])
    return bytes([0xBA, port & 0xFF, port >> 8, long_])


def _out(port, value):
    return bytes([0xB0, value]) + _port_byte(port, 0xE6, 0xEE)


def _in(port):
    return _port_byte(port, 0xE4, 0xEC) + bytes([0xE6, PROGRESS_PORT])


def _loop(count, body):
    code = bytes([0x66, 0xB9]) + count.to_bytes(4, "little")  # mov ecx, count
    body = body + bytes([0x66, 0x49])  # dec ecx
    back = -(len(body) + 2)
    if back < -128:
        raise ValueError("loop body too long for a short jump")
    return code + body + bytes([0x75, back & 0xFF])  # jnz body


def _assemble(steps):
    code = b""
    for index, step in enumerate(steps):
        kind = step[0]
        if kind == "out":
            code += _out(step[1], step[2])
        elif kind == "in":
            code += _in(step[1])
        elif kind == "loop":
            code += _loop(step[1], _assemble(step[2]))
        elif kind == "restart":
            return code + _restart_once(_assemble(steps[index + 1:]))
        else:
            raise ValueError(f"unknown step {step!r}")
    return code


def _restart_once(after):
    flag = RESTART_FLAG.to_bytes(2, "little")
    restart = bytes([0xC6, 0x06]) + flag + b"\x01" + _out(0xCF9, 0x0E) + b"\xf4"
    # cmp byte [flag], 1 ; je after ; mov byte [flag], 1 ; out 0xCF9, 0x0E
    return (bytes([0x80, 0x3E]) + flag + b"\x01" + bytes([0x74, len(restart)])
            + restart + after)


def bios(steps):
    """The BIOS image: interrupts off, the steps, then halted for good."""
    code = bytes([0xFA]) + _assemble(steps) + bytes([0xF4, 0xEB, 0xFD])  # cli ... hlt; jmp hlt
    if len(code) > RESET_VECTOR:
        raise ValueError("guest too long")
    image = bytearray(b"\xf4" * BIOS_SIZE)
    image[:len(code)] = code
    # At the reset vector: a near jump back to offset 0 of the same segment.
    jump = -(RESET_VECTOR + 3)
    image[RESET_VECTOR:RESET_VECTOR + 3] = bytes([0xE9]) + (jump & 0xFFFF).to_bytes(2, "little")
    return bytes(image)
