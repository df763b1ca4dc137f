#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Boots OVMF in the rig's QEMU with the ec-model device and reports what
reached the EC: the port log by kind and port, the QMP events, QEMU's exit
status and, in socket mode, what the external model saw.

  smoke.py --external --register 0x93=0x7f          # Debian's OVMF, socket mode
  smoke.py --model libec_model.so --settings s.txt  # a model library
  smoke.py --code OVMF_CODE.fd --vars VARS.fd --fat DIR --seconds 30

Without --flash or --code it boots a 16 MiB board flash whose top 4 MiB are
Debian's OVMF_VARS_4M.fd and OVMF_CODE_4M.fd. Exit status 0 when QEMU ended
with status 0 and the port log holds the platform reset of power-on.
"""
import argparse
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

import port_log

HERE = os.path.dirname(os.path.abspath(__file__))
OVMF_CODE_4M = "/usr/share/OVMF/OVMF_CODE_4M.fd"
OVMF_VARS_4M = "/usr/share/OVMF/OVMF_VARS_4M.fd"
BOARD_FLASH_SIZE = 16 << 20
QMP_TIMEOUT = 30.0
EXIT_TIMEOUT = 20.0


def ensure_ovmf():
    subprocess.run([os.path.join(HERE, "..", "setup.sh"), "rig"], check=True)


def board_flash(path):
    """A 16 MiB board flash, erased, with OVMF's variables and code at the top."""
    ensure_ovmf()
    with open(OVMF_VARS_4M, "rb") as f:
        top = f.read()
    with open(OVMF_CODE_4M, "rb") as f:
        top += f.read()
    with open(path, "wb") as f:
        f.write(b"\xff" * (BOARD_FLASH_SIZE - len(top)) + top)


def rig_qemu():
    return subprocess.run([os.path.join(HERE, "build_qemu.sh")], check=True,
                          stdout=subprocess.PIPE, text=True).stdout.strip()


def wait_for_path(path, process, seconds):
    end = time.monotonic() + seconds
    while not os.path.exists(path):
        if process.poll() is not None or time.monotonic() > end:
            raise SystemExit(f"smoke: {path} never appeared")
        time.sleep(0.02)


def listener(path):
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    server.listen(1)
    server.settimeout(0.1)
    return server


def accept(server, proc):
    """QEMU's connection, or OSError once QEMU has ended or never connects."""
    end = time.monotonic() + QMP_TIMEOUT
    while proc.poll() is None and time.monotonic() < end:
        try:
            conn = server.accept()[0]
            conn.settimeout(None)
            return conn
        except socket.timeout:
            pass
    raise OSError("QEMU never connected (see its stderr below)")


def device_options(args, work):
    option, chardev = "ec-model", []
    if args.model:
        option += f",model={args.model}"
        if args.settings:
            option += f",settings={args.settings}"
    else:
        chardev = ["-chardev", f"socket,id=ec0,path={os.path.join(work, 'ec.sock')}"]
        option += ",chardev=ec0"
    option += f",log={os.path.join(work, 'ports.log')}"
    if args.power_cut_after:
        option += f",power-cut-after={args.power_cut_after}"
    return chardev + ["-device", option]


def command_line(qemu, args, work):
    cmd = [qemu, "-machine", "q35,max-fw-size=16M", "-accel", "tcg", "-m", "256",
           "-nographic", "-net", "none", "-S"]
    if args.code:
        cmd += ["-drive", f"if=pflash,format=raw,readonly=on,file={args.code}",
                "-drive", f"if=pflash,format=raw,file={args.vars}"]
    else:
        cmd += ["-drive", f"if=pflash,format=raw,file={args.flash}"]
    if args.fat:
        cmd += ["-drive", f"file=fat:rw:{args.fat},format=raw,media=disk"]
    return cmd + [
        *device_options(args, work),
        "-chardev", f"socket,id=serial0,path={os.path.join(work, 'serial.sock')}",
        "-serial", "chardev:serial0",
        "-chardev", f"socket,id=qmp0,path={os.path.join(work, 'qmp.sock')}",
        "-mon", "chardev=qmp0,mode=control"]


class Qmp:
    """QMP on the socket QEMU connected to: commands out, events collected."""

    def __init__(self, conn, start):
        self.conn, self.file, self.start = conn, conn.makefile("r"), start
        self.events, self.ended = [], threading.Event()
        json.loads(self.file.readline())  # greeting
        self.send("qmp_capabilities")
        json.loads(self.file.readline())
        threading.Thread(target=self._read, daemon=True).start()

    def send(self, command):
        try:
            self.conn.sendall(json.dumps({"execute": command}).encode() + b"\n")
        except OSError:
            pass  # QEMU already gone

    def _read(self):
        try:
            for line in self.file:
                message = json.loads(line)
                if "event" in message:
                    self.events.append((time.monotonic() - self.start, message["event"],
                                        message.get("data", {})))
                    if message["event"] == "SHUTDOWN":
                        self.ended.set()
        except (OSError, ValueError):
            pass  # QEMU closed the socket as it ended
        self.ended.set()


def read_serial(conn, sink):
    while chunk := conn.recv(4096):
        sink.extend(chunk)


def run(args, work):
    qemu = args.qemu or rig_qemu()
    if not args.code and not args.flash:
        args.flash = os.path.join(work, "board_flash.bin")
        board_flash(args.flash)
    model = None
    if not args.model:
        model = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "external_model.py"), "--socket",
             os.path.join(work, "ec.sock"), "--record", os.path.join(work, "ec_seen.json")]
            + [f"--register={r}" for r in args.register], stdout=subprocess.DEVNULL)
        wait_for_path(os.path.join(work, "ec.sock"), model, 10)
    servers = {name: listener(os.path.join(work, f"{name}.sock")) for name in ("serial", "qmp")}
    cmd = command_line(qemu, args, work)
    start = time.monotonic()
    with open(os.path.join(work, "qemu.stderr"), "wb") as stderr:
        proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=stderr, stderr=stderr)
    serial = bytearray()
    try:
        # QEMU opens the chardevs in the order of its command line.
        serial_conn = accept(servers["serial"], proc)
        qmp = Qmp(accept(servers["qmp"], proc), start)
        threading.Thread(target=read_serial, args=(serial_conn, serial), daemon=True).start()
        qmp.send("cont")
        qmp.ended.wait(args.seconds)
        if proc.poll() is None and not qmp.ended.is_set():
            qmp.send("quit")
        status = proc.wait(EXIT_TIMEOUT)
    except (OSError, ValueError, subprocess.TimeoutExpired) as failure:
        proc.kill()
        status = proc.wait()
        print(f"smoke: {failure}", file=sys.stderr)
        qmp = None
    elapsed = time.monotonic() - start
    if model is not None:
        try:
            model.wait(EXIT_TIMEOUT)
        except subprocess.TimeoutExpired:
            model.kill()
            model.wait()
    return report(cmd, work, status, elapsed, qmp, serial)


def report(cmd, work, status, elapsed, qmp, serial):
    log_path = os.path.join(work, "ports.log")
    events = port_log.read(log_path) if os.path.exists(log_path) else []
    counts = port_log.summary(events)
    print("qemu      " + " ".join(cmd))
    print(f"ended     exit status {status} after {elapsed:.2f} s wall")
    with open(os.path.join(work, "qemu.stderr"), "rb") as f:
        for line in f.read().decode("latin-1").splitlines():
            print(f"stderr    {line}")
    for t, name, data in qmp.events if qmp else []:
        print(f"qmp       {t:6.2f} s  {name} {json.dumps(data)}")
    print(f"port log  {len(events):,} records")
    for (kind, port), count in sorted(counts.items()):
        print(f"          {kind:9} port {port:#06x}  {count:,}")
    if events:
        span = (events[-1].time_ns - events[0].time_ns) / 1e9
        print(f"          virtual time from first to last record {span:.3f} s")
    seen = os.path.join(work, "ec_seen.json")
    if os.path.exists(seen):
        with open(seen, encoding="utf-8") as f:
            print("ec seen   " + json.dumps(json.load(f)))
    with open(os.path.join(work, "serial.txt"), "wb") as f:
        f.write(serial)
    print(f"serial    {len(serial):,} bytes (serial.txt)")
    resets = counts[("reset", 0)]
    return 0 if status == 0 and resets >= 1 else 1


def parse(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--qemu", help="qemu-system-x86_64 (default: build_qemu.sh's)")
    parser.add_argument("--flash", help="a board flash image (one read-write pflash)")
    parser.add_argument("--code", help="OVMF code (read-only pflash); needs --vars")
    parser.add_argument("--vars", help="a copy of OVMF's variable store (written)")
    parser.add_argument("--fat", help="a folder as the FAT disk")
    parser.add_argument("--model", help="the EC model library (default: external_model.py)")
    parser.add_argument("--settings", help="the model library's settings file")
    parser.add_argument("--register", action="append", default=[], metavar="REG=VALUE",
                        help="for external_model.py: an EC register value")
    parser.add_argument("--power-cut-after", type=int, default=0, metavar="N")
    parser.add_argument("--seconds", type=float, default=20.0,
                        help="QMP quit after this long unless QEMU ended (default 20)")
    parser.add_argument("--work", help="keep the files here (default: a temporary folder)")
    args = parser.parse_args(argv)
    if bool(args.code) != bool(args.vars):
        parser.error("--code and --vars go together")
    return args


def main(argv=None):
    args = parse(argv)
    if args.work:
        os.makedirs(args.work, exist_ok=True)
        return run(args, os.path.abspath(args.work))
    with tempfile.TemporaryDirectory(prefix="ec-rig-") as work:
        return run(args, work)


if __name__ == "__main__":
    sys.exit(main())
