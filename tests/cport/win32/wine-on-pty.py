#!/usr/bin/env python3
"""Runs a Windows test program under Wine with a pseudo-terminal as its COM port.

The Linux side of the line stays here: this script makes the pseudo-terminal,
maps it as a free COM port of the Wine prefix (COM20 and up, where Wine's own
port numbering never reaches), starts the program with the port's name in
HXT24_TEST_PORT and the modem-line library preloaded, and answers what the
program asks for over the line, one command per line:

  STREAM n    sends n bytes (byte i is (i * 7 + 3) mod 256) at 57600 bit/s
  HANGUP      closes this end: the program's port sees the other end go away;
              a fresh pseudo-terminal then takes the same COM port name

With --play FILE, the bytes of FILE (a recorded stream) are sent at the line
rate as soon as the program has set the line to 57600 bit/s (so a program that
only listens, such as hxt24-dump --port, gets the stream from its start).
With --sim, the line is instead a simulated scope: the given command (the Linux
hxt24-sim) makes its own pseudo-terminal and prints its path, which is mapped.

"{port}" in the program's arguments becomes the port's name. With --expect
FILE, the program passes only when its standard output is exactly FILE's text.

Every wait is bounded: the program is killed after --timeout seconds.
"""

import argparse
import os
import select
import subprocess
import sys
import tempfile
import threading
import time
import termios
import tty

LINE_RATE = 5760  # bytes per second at 57600 bit/s, 8N1


def wine_prefix():
    return os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")


def map_port(device):
    """Links a free comN of the prefix to device; returns (name, link)."""
    folder = os.path.join(wine_prefix(), "dosdevices")
    if not os.path.isdir(folder):
        sys.exit(f"wine-on-pty: no Wine prefix at {wine_prefix()}")
    for number in range(20, 100):
        link = os.path.join(folder, f"com{number}")
        try:
            os.symlink(device, link)
            return f"COM{number}", link
        except FileExistsError:
            # Left behind by a run that was killed: its terminal is gone.
            if os.path.islink(link) and not os.path.exists(link):
                try:
                    os.unlink(link)
                    os.symlink(device, link)
                    return f"COM{number}", link
                except OSError:
                    pass
    sys.exit("wine-on-pty: no free COM port in the Wine prefix")


def pattern(start, count):
    return bytes(((i * 7 + 3) & 0xFF) for i in range(start, start + count))


def stream(fd, count):
    """Sends count bytes of the pattern, paced at the line rate."""
    begin = time.monotonic()
    sent = 0
    while sent < count:
        chunk = min(64, count - sent)
        due = begin + sent / LINE_RATE
        delay = due - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        data = pattern(sent, chunk)
        done = 0
        while done < len(data):
            done += os.write(fd, data[done:])
        sent += chunk


def new_terminal():
    master, slave = os.openpty()
    tty.setraw(slave)
    return master, slave


def relink(link, device):
    """Points link at device in one step."""
    temp = link + ".new"
    if os.path.lexists(temp):
        os.unlink(temp)
    os.symlink(device, temp)
    os.rename(temp, link)


def serve(master, slave, link, wake):
    """Answers the program's commands until it ends."""
    pending = b""
    while True:
        ready, _, _ = select.select([master, wake], [], [])
        if wake in ready:
            return
        try:
            data = os.read(master, 4096)
        except OSError:
            return
        if not data:
            return
        pending += data
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            words = line.strip().split()
            if not words:
                continue
            if words[0] == b"STREAM" and len(words) == 2:
                stream(master, int(words[1]))
            elif words[0] == b"HANGUP":
                os.close(master)
                os.close(slave)
                master, slave = new_terminal()
                relink(link, os.ttyname(slave))
                pending = b""


def play_when_configured(master, slave, recording, deadline):
    """Sends the recording once the other side has set the line's rate."""
    with open(recording, "rb") as f:
        data = f.read()
    # The terminal starts at 38400 bit/s; the port's configuration changes it.
    while time.monotonic() < deadline:
        try:
            if termios.tcgetattr(slave)[4] == termios.B57600:
                break
        except termios.error:
            return
        time.sleep(0.01)
    else:
        return
    begin = time.monotonic()
    for sent in range(0, len(data), 64):
        delay = begin + sent / LINE_RATE - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        chunk = data[sent:sent + 64]
        done = 0
        while done < len(chunk):
            done += os.write(master, chunk[done:])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--preload", action="append", default=[],
                        help="library for LD_PRELOAD (may contain $LIB)")
    parser.add_argument("--bare", action="store_true",
                        help="no library preloaded (HXT24_TEST_BARE_LINE=1 tells the program)")
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("--wine", default=os.environ.get("WINE", "wine"))
    parser.add_argument("--sim", nargs="+", help="simulated scope command (ends with --)")
    parser.add_argument("--play", help="recorded stream to send once the line is set up")
    parser.add_argument("--expect", help="the program's exact expected output")
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program
    if not program:
        parser.error("no program")

    # Wine's services must be up before the port is mapped (they renumber the
    # COM ports they find at start-up). Their output must not reach ours, or
    # whoever reads it waits for them.
    subprocess.run([args.wine, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=args.timeout, check=False)

    sim = None
    master = slave = -1
    if args.sim:
        sim = subprocess.Popen(args.sim, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               start_new_session=True)
        ready, _, _ = select.select([sim.stdout], [], [], 30)
        device = sim.stdout.readline().decode().strip() if ready else ""
        if not device.startswith("/dev/"):
            sim.kill()
            sys.exit(f"wine-on-pty: the simulator printed no device path ({device!r})")
    else:
        master, slave = new_terminal()
        device = os.ttyname(slave)
    port, link = map_port(device)
    program = [arg.replace("{port}", port) for arg in program]

    env = dict(os.environ)
    env["HXT24_TEST_PORT"] = port
    env["WINEDEBUG"] = env.get("WINEDEBUG", "-all")
    if args.bare:
        env["HXT24_TEST_BARE_LINE"] = "1"
    elif args.preload:
        env["LD_PRELOAD"] = " ".join(args.preload + [env.get("LD_PRELOAD", "")]).strip()

    wake_read, wake_write = os.pipe()
    server = None
    if master >= 0 and args.play:
        server = threading.Thread(target=play_when_configured,
                                  args=(master, slave, args.play, time.monotonic() + args.timeout),
                                  daemon=True)
        server.start()
    elif master >= 0:
        server = threading.Thread(target=serve, args=(master, slave, link, wake_read), daemon=True)
        server.start()
    result = 1
    with tempfile.TemporaryFile() as output, tempfile.TemporaryFile() as errors:
        # Output goes to files, not pipes: Wine's services may keep a pipe
        # open long after the program ended.
        proc = subprocess.Popen([args.wine] + program, stdin=subprocess.DEVNULL, stdout=output,
                                stderr=errors, env=env, start_new_session=True)
        try:
            result = proc.wait(timeout=args.timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, 9)
            proc.wait()
            print(f"wine-on-pty: killed after {args.timeout:.0f} s", file=sys.stderr)
            result = 1
        os.write(wake_write, b"x")
        if server:
            server.join(timeout=5)
        output.seek(0)
        text = output.read()
        errors.seek(0)
        sys.stdout.buffer.write(text)
        sys.stdout.flush()
        sys.stderr.buffer.write(errors.read())
        sys.stderr.flush()
    if args.expect:
        with open(args.expect, "rb") as f:
            expected = f.read()
        # Wine's console may turn line ends into CR LF.
        if text.replace(b"\r\n", b"\n") != expected:
            print(f"wine-on-pty: the output differs from {args.expect}", file=sys.stderr)
            result = result or 1
    os.unlink(link)
    if sim:
        sim.terminate()
        try:
            sim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sim.kill()
    return result


if __name__ == "__main__":
    sys.exit(main())
