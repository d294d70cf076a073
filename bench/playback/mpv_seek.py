#!/usr/bin/env python3
"""Seek latency of mpv: from a seek command on its JSON IPC socket to its
"playback-restart" event (the first frame shown at the new position).
usage: mpv_seek.py FILE TARGET_SECONDS..."""
import json, os, socket, statistics, subprocess, sys, tempfile, time

path, targets = sys.argv[1], [int(t) for t in sys.argv[2:]]
sock_path = os.path.join(tempfile.mkdtemp(), "mpv.sock")
proc = subprocess.Popen(["mpv", "--no-config", "--vo=gpu", "--gpu-sw", "--ao=null",
                         "--geometry=1920x1080", "--keep-open=yes", "--really-quiet",
                         "--input-ipc-server=" + sock_path, path])
try:
    for _ in range(200):
        if os.path.exists(sock_path):
            break
        time.sleep(0.05)
    s = socket.socket(socket.AF_UNIX)
    s.connect(sock_path)
    s.settimeout(10)
    buf = b""

    def wait_event(name, deadline):
        global buf
        while time.monotonic() < deadline:
            while b"\n" in buf:
                line, buf = buf.split(b"\n", 1)
                try:
                    if json.loads(line).get("event") == name:
                        return True
                except ValueError:
                    pass
            try:
                buf += s.recv(65536)
            except socket.timeout:
                return False
        return False

    wait_event("playback-restart", time.monotonic() + 15)
    time.sleep(1.0)
    latencies = []
    for i, t in enumerate(targets):
        start = time.monotonic()
        s.sendall((json.dumps({"command": ["seek", t, "absolute"]}) + "\n").encode())
        ok = wait_event("playback-restart", start + 5)
        ms = int((time.monotonic() - start) * 1000) if ok else -1
        latencies.append(ms)
        print(f"seek {i + 1} to {t} s: {ms} ms")
        time.sleep(0.3)
    if latencies:
        print(f"seek latency median {int(statistics.median(latencies))} ms over {len(latencies)} seeks")
finally:
    proc.terminate()
    proc.wait(timeout=10)
