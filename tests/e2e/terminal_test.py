#!/usr/bin/env python3
"""The console at a terminal: a long run shows its status line on standard
error and clears it before the closing lines; in a UTF-8 locale the Polish
messages arrive in UTF-8, in the C locale as the ISO-8859-2 bytes they are;
and through pipes nothing of this shows.

    terminal_test.py BUILD_DIR
"""
import os
import pty
import subprocess
import sys
import tempfile

BIN = os.path.abspath(sys.argv[1])
PROGRAM = os.path.join(BIN, "parvalyte")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run_at_terminal(argv, env, stdin_path):
    """Runs argv with standard output and error on one pseudo-terminal and
    its input from stdin_path; returns the status and what the terminal got."""
    pid, fd = pty.fork()
    if pid == 0:
        os.dup2(os.open(stdin_path, os.O_RDONLY), 0)
        os.execvpe(argv[0], argv, env)
    out = b""
    while True:
        try:
            data = os.read(fd, 65536)
        except OSError:
            break
        if not data:
            break
        out += data
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), out


with tempfile.TemporaryDirectory() as scratch:
    os.chdir(scratch)
    log = subprocess.run([os.path.join(BIN, "tools", "parva_genlog"), "20000", "3"],
                         check=True, capture_output=True).stdout
    with open("log", "wb") as f:
        f.write(log)
    # A log that arrives slowly on standard input: the run lasts well over the
    # half second after which the status line shows.
    with open("slow.sh", "w") as f:
        f.write("head -n 5000 log; sleep 1.5; tail -n +5001 log\n")
    os.mkfifo("pipe")
    feeder = subprocess.Popen("sh slow.sh > pipe", shell=True)
    env = dict(os.environ, LC_ALL="C.UTF-8")
    env.pop("LD_PRELOAD", None)
    os.mkdir("utf8")
    status, seen = run_at_terminal([PROGRAM, "-o", "utf8", "-"], env, "pipe")
    feeder.wait()
    check(status == 0, "the slow run exits 0 (%d)" % status)
    check("Używam pliku logu".encode() in seen, "UTF-8 messages at a UTF-8 terminal")
    try:
        seen.decode("utf-8")
    except UnicodeDecodeError as e:
        check(False, "everything at a UTF-8 terminal is UTF-8 (%s)" % e)
    status_at = seen.find(b"\rCzytam: ")
    check(status_at >= 0, "the status line shows")
    check("zapisów".encode() in seen[status_at:], "the status line is in UTF-8 too")
    cleared = seen.find(b"\r\x1b[K", status_at)
    closing = seen.find("Generuję raport".encode())
    check(0 <= cleared < closing, "the status line is cleared before the closing lines")
    check(b"Czytam" not in seen[closing:], "no status line after the loop")
    check(seen.rstrip().endswith(b"/sec"), "the summary is the last line")

    # The C locale: the bytes as they are, a short run without a status line.
    os.mkdir("latin2")
    env = dict(os.environ, LC_ALL="C")
    env.pop("LD_PRELOAD", None)
    status, seen = run_at_terminal([PROGRAM, "-o", "latin2", "log"], env, "/dev/null")
    check(status == 0, "the C-locale run exits 0")
    check("Używam".encode("iso-8859-2") in seen, "ISO-8859-2 bytes at a C-locale terminal")
    check(b"Czytam" not in seen, "no status line in a short run")

    # Pipes: exactly the bytes of a run whose streams are files.
    os.mkdir("piped")
    env = dict(os.environ, LC_ALL="C.UTF-8")
    piped = subprocess.run([PROGRAM, "-o", "piped", "-"], input=log, env=env,
                           capture_output=True)
    check(b"\r" not in piped.stdout + piped.stderr, "no status line through a pipe")
    check("Używam".encode("iso-8859-2") in piped.stdout, "ISO-8859-2 bytes through a pipe")

if failures:
    sys.exit(1)
print("terminal output as expected")
