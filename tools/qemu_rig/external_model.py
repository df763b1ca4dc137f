#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""A minimal external EC for the rig's ec-model device in socket mode.

It is enough of an EC for the threshold guard: the ACPI EC status register
(OBF when a reply waits, IBF never held: every byte is taken at once), the
guard's threshold command 0xAA with its data byte, and the ACPI EC read
command 0x80 with its register number, answered from --register. What the
host did is written as JSON to --record when QEMU closes the socket.

Records from the device, 4 bytes each: kind ('w' write, 'r' read, 'x'
platform reset), port (u16 little-endian), value (u8, 0 for 'r' and 'x').
Each 'r' is answered with exactly one byte.

  external_model.py --socket ec.sock --register 0x93=0x7f --record seen.json
"""
import argparse
import json
import os
import socket
import struct
import sys

DATA_PORT = 0x62
COMMAND_PORT = 0x66
PROGRESS_PORT = 0x80
RESET_CONTROL_PORT = 0xCF9

STATUS_OBF = 0x01  # a reply waits on the data port

ACPI_READ = 0x80  # then the register number; the EC answers its value
GUARD_THRESHOLD = 0xAA  # then the threshold

RECORD = struct.Struct("<cHB")


class Ec:
    """The EC's side of the ACPI EC handshake and the guard's commands."""

    def __init__(self, registers):
        self.registers = registers
        self.reply = None  # the byte behind OBF
        self.expecting = None  # the command whose data byte comes next
        self.seen = {
            "exchange": [],  # commands and data bytes in order, as [port, value]
            "guard_threshold": None,
            "register_reads": [],
            "progress_codes": 0,
            "last_progress_code": None,
            "reset_control_writes": [],
            "platform_resets": 0,
            "violations": [],
        }

    def read(self, port):
        if port == COMMAND_PORT:
            return STATUS_OBF if self.reply is not None else 0
        if port == DATA_PORT:
            if self.reply is None:
                self.seen["violations"].append("data read while OBF was clear")
                return 0xFF
            value, self.reply = self.reply, None
            return value
        return 0xFF

    def write(self, port, value):
        if port == PROGRESS_PORT:
            self.seen["progress_codes"] += 1
            self.seen["last_progress_code"] = value
            return
        if port == RESET_CONTROL_PORT:
            self.seen["reset_control_writes"].append(value)
            return
        self.seen["exchange"].append([port, value])
        if port == COMMAND_PORT:
            self.command(value)
        elif port == DATA_PORT:
            self.data(value)

    def command(self, value):
        if self.expecting is not None:
            self.seen["violations"].append(f"command 0x{value:02X} while a data byte was expected")
        self.expecting = value if value in (ACPI_READ, GUARD_THRESHOLD) else None
        if self.expecting is None:
            self.seen["violations"].append(f"unknown command 0x{value:02X}")

    def data(self, value):
        command, self.expecting = self.expecting, None
        if command == GUARD_THRESHOLD:
            self.seen["guard_threshold"] = value
        elif command == ACPI_READ:
            self.seen["register_reads"].append(value)
            self.reply = self.registers.get(value, 0)
        else:
            self.seen["violations"].append(f"data byte 0x{value:02X} with no command expecting it")

    def platform_reset(self):
        # The host restarted; the EC on standby power forgets only the
        # exchange in progress.
        self.seen["platform_resets"] += 1
        self.reply = None
        self.expecting = None


def receive_exactly(conn, size):
    data = b""
    while len(data) < size:
        chunk = conn.recv(size - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def serve(conn, ec):
    while (record := receive_exactly(conn, RECORD.size)) is not None:
        kind, port, value = RECORD.unpack(record)
        if kind == b"r":
            conn.sendall(bytes([ec.read(port)]))
        elif kind == b"w":
            ec.write(port, value)
        elif kind == b"x":
            ec.platform_reset()
        else:
            ec.seen["violations"].append(f"unknown record kind {kind!r}")


def listen(path):
    # Bound under a temporary name and renamed once listening, so a client
    # that sees the path can always connect.
    pending = path + ".binding"
    for stale in (path, pending):
        if os.path.exists(stale):
            os.unlink(stale)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(pending)
    server.listen(1)
    os.rename(pending, path)
    return server


def register_setting(text):
    register, _, value = text.partition("=")
    try:
        return int(register, 0), int(value, 0)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not REGISTER=VALUE") from None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--socket", required=True, help="unix socket path to listen on")
    parser.add_argument("--register", action="append", type=register_setting, default=[],
                        metavar="REG=VALUE", help="an EC register the ACPI EC read answers")
    parser.add_argument("--record", help="JSON file of what the host did, written at the end")
    args = parser.parse_args()
    ec = Ec(dict(args.register))
    server = listen(args.socket)
    conn, _ = server.accept()
    try:
        serve(conn, ec)
    finally:
        conn.close()
        server.close()
        os.unlink(args.socket)
        if args.record:
            with open(args.record, "w", encoding="utf-8") as out:
                json.dump(ec.seen, out, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
