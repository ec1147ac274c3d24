#!/usr/bin/env python3
"""Throughput of kov-tftpd against Debian's tftpd-hpa, and kov-tftpd's memory.

Both servers serve the built-in 161,302-byte image on loopback inside one
private network namespace (the script re-runs itself under scripts/netns-run).
The client is curl with --tftp-no-options, so both servers run plain RFC 1350
lock-step transfers with 512-byte blocks. For 1, 10 and 50 concurrent
clients it runs a fixed number of fetches against each server, checks every
fetched file by SHA-256 and prints transfers per second, their ratio and the
failures. Then it sends kov-tftpd a burst of 5,000 read requests (half for
unknown names, half for the image from sockets that close at once) and
prints its resident memory after the burst and after the abandoned
transfers have given up.

usage: tftp-bench.py [BUILD_DIR]   (default: build-firmware beside this script)
"""
import concurrent.futures
import hashlib
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
IMAGE = os.path.join(ROOT, "resources", "firmware", "KOV_rev7_1.7.0.hex")
NAME = "kov-1-rev7.hex"
KOV_PORT = 6969
HPA_PORT = 7069
LEVELS = [(1, 100), (10, 300), (50, 500)]   # (concurrent clients, fetches)


def in_namespace():
    if os.environ.get("KOV_BENCH_NETNS") == "1":
        return
    env = dict(os.environ, KOV_BENCH_NETNS="1")
    netns = os.path.join(ROOT, "scripts", "netns-run")
    os.execve(netns, [netns, sys.executable] + sys.argv, env)


def proc_status(pid):
    fields = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return fields


def fds(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def wait_for_port(port, timeout=5.0):
    # A lone unknown-name request answered means the server is up.
    deadline = time.time() + timeout
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(0.2)
    while time.time() < deadline:
        s.sendto(b"\0\1probe\0octet\0", ("127.0.0.1", port))
        try:
            s.recvfrom(600)
            return True
        except socket.timeout:
            pass
    return False


def run_level(port, clients, fetches, workdir, expected):
    def worker(index, count):
        out = os.path.join(workdir, "w%d" % index)
        failures = 0
        for _ in range(count):
            if os.path.exists(out):
                os.remove(out)
            r = subprocess.run(["curl", "-s", "--tftp-no-options", "--max-time", "30",
                                "tftp://127.0.0.1:%d/%s" % (port, NAME), "-o", out],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            ok = r.returncode == 0 and os.path.exists(out)
            if ok:
                with open(out, "rb") as f:
                    ok = hashlib.sha256(f.read()).hexdigest() == expected
            failures += 0 if ok else 1
        return failures

    share = [fetches // clients + (1 if i < fetches % clients else 0) for i in range(clients)]
    start = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(max_workers=clients) as pool:
        failures = sum(pool.map(worker, range(clients), share))
    elapsed = time.perf_counter() - start
    return (fetches - failures) / elapsed, failures, elapsed


def python_fetch(port):
    """A minimal RFC 1350 client: one lock-step fetch, returns the bytes or None."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(5)
    try:
        s.sendto(b"\0\1" + NAME.encode() + b"\0octet\0", ("127.0.0.1", port))
        data = bytearray()
        expected_block = 1
        while True:
            packet, source = s.recvfrom(1024)
            if packet[:2] != b"\0\3":
                return None
            block = int.from_bytes(packet[2:4], "big")
            if block == expected_block:
                data += packet[4:]
                expected_block += 1
            s.sendto(b"\0\4" + packet[2:4], source)
            if block == expected_block - 1 and len(packet) < 516:
                return bytes(data)
    except OSError:
        return None
    finally:
        s.close()


def run_level_python(port, clients, fetches, expected):
    def worker(count):
        failures = 0
        for _ in range(count):
            got = python_fetch(port)
            if got is None or hashlib.sha256(got).hexdigest() != expected:
                failures += 1
        return failures

    share = [fetches // clients + (1 if i < fetches % clients else 0) for i in range(clients)]
    start = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(max_workers=clients) as pool:
        failures = sum(pool.map(worker, share))
    elapsed = time.perf_counter() - start
    return (fetches - failures) / elapsed, failures, elapsed


def burst(port, requests=5000):
    control = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    control.settimeout(5)
    unknown = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sent = 0
    for i in range(requests // 2):
        unknown.sendto(b"\0\1missing-%d.hex\0octet\0" % i, ("127.0.0.1", port))
        sent += 1
        if i % 50 == 49:
            control.sendto(b"\0\1sync\0octet\0", ("127.0.0.1", port))
            control.recvfrom(600)
    for i in range(requests // 2 // 25):
        gone = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        for _ in range(25):
            gone.sendto(b"\0\1" + NAME.encode() + b"\0octet\0", ("127.0.0.1", port))
            sent += 1
        gone.close()
        control.sendto(b"\0\1sync\0octet\0", ("127.0.0.1", port))
        control.recvfrom(600)
    return sent


def main():
    in_namespace()
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build-firmware")
    kov = os.path.join(build, "tools", "kov-tftpd")
    hpa = "/usr/sbin/in.tftpd"
    for program in (kov, hpa, shutil.which("curl")):
        if not program or not os.access(program, os.X_OK):
            sys.exit("missing program: %s" % program)

    # tftpd-hpa resolves its -a address with AI_ADDRCONFIG, which finds no
    # IPv4 address in a namespace that has only loopback: give it one.
    subprocess.run(["ip", "addr", "add", "10.0.0.1/32", "dev", "lo"], check=True)

    work = tempfile.mkdtemp(prefix="tftp-bench-")
    served = os.path.join(work, "served")
    os.mkdir(served)
    shutil.copy(IMAGE, os.path.join(served, NAME))
    os.chmod(served, 0o755)
    with open(IMAGE, "rb") as f:
        expected = hashlib.sha256(f.read()).hexdigest()

    kov_log = open(os.path.join(work, "kov.log"), "w")
    kov_proc = subprocess.Popen([kov, "-q", "-p", str(KOV_PORT)], stdout=kov_log,
                                stderr=subprocess.DEVNULL)
    hpa_proc = subprocess.Popen([hpa, "-L", "-s", served, "-a", "127.0.0.1:%d" % HPA_PORT],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not wait_for_port(KOV_PORT) or not wait_for_port(HPA_PORT):
            sys.exit("a server did not come up")
        print("image %d bytes, client curl --tftp-no-options (512-byte lock-step), "
              "loopback in a private namespace" % os.path.getsize(IMAGE))
        print("%8s %8s | %12s %6s | %12s %6s | %6s" % ("clients", "fetches", "kov-tftpd/s",
                                                       "fail", "tftpd-hpa/s", "fail", "ratio"))
        for clients, fetches in LEVELS:
            kov_rate, kov_fail, _ = run_level(KOV_PORT, clients, fetches, work, expected)
            hpa_rate, hpa_fail, _ = run_level(HPA_PORT, clients, fetches, work, expected)
            print("%8d %8d | %12.1f %6d | %12.1f %6d | %6.2f" % (
                clients, fetches, kov_rate, kov_fail, hpa_rate, hpa_fail, kov_rate / hpa_rate))
            sys.stdout.flush()

        print("same with a small Python lock-step client (threads, no process start per fetch)")
        for clients, fetches in LEVELS:
            kov_rate, kov_fail, _ = run_level_python(KOV_PORT, clients, fetches, expected)
            hpa_rate, hpa_fail, _ = run_level_python(HPA_PORT, clients, fetches, expected)
            print("%8d %8d | %12.1f %6d | %12.1f %6d | %6.2f" % (
                clients, fetches, kov_rate, kov_fail, hpa_rate, hpa_fail, kov_rate / hpa_rate))
            sys.stdout.flush()

        pid = kov_proc.pid
        before = proc_status(pid)
        print("kov-tftpd before the burst: VmRSS %s, VmHWM %s, %d descriptors"
              % (before["VmRSS"], before["VmHWM"], fds(pid)))
        start = time.perf_counter()
        sent = burst(KOV_PORT)
        took = time.perf_counter() - start
        after = proc_status(pid)
        print("burst of %d requests in %.2f s: VmRSS %s, VmHWM %s, %d descriptors"
              % (sent, took, after["VmRSS"], after["VmHWM"], fds(pid)))
        time.sleep(8)
        end = proc_status(pid)
        print("8 s later (abandoned transfers given up): VmRSS %s, VmHWM %s, %d descriptors"
              % (end["VmRSS"], end["VmHWM"], fds(pid)))
        rate, fail, _ = run_level(KOV_PORT, 1, 20, work, expected)
        print("after the burst: %.1f fetches/s, %d failures" % (rate, fail))
        burst(KOV_PORT)
        second = proc_status(pid)
        time.sleep(8)
        settled = proc_status(pid)
        print("second burst: VmRSS %s right after, %s 8 s later, VmHWM %s, %d descriptors"
              % (second["VmRSS"], settled["VmRSS"], settled["VmHWM"], fds(pid)))
    finally:
        kov_proc.terminate()
        hpa_proc.terminate()
        kov_proc.wait()
        hpa_proc.wait()
        kov_log.close()
        with open(os.path.join(work, "kov.log")) as f:
            log = f.read().splitlines()
        print("kov-tftpd reported: %d done, %d 'File not found', %d 'Too many retries'"
              % (sum(l.endswith(" done") for l in log),
                 sum(l.endswith("error File not found") for l in log),
                 sum(l.endswith("error Too many retries") for l in log)))
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
