"""Random datagrams at every port of the tool; see bench/garbage."""
import os
import random
import select
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import floodkit as kit  # noqa: E402

rng = random.Random(5998)


def garbage(kind):
    """One datagram. kind 'reply': mostly random bytes, some behind the
    reply prefix; kind 'tftp': random bytes, runts, read requests for
    random names and other opcodes with random bodies."""
    roll = rng.random()
    if kind == "reply":
        if roll < 0.1:
            return b"KOV-1," + rng.randbytes(rng.randrange(0, 120))
        return rng.randbytes(rng.randrange(0, 1500))
    if roll < 0.2:
        return rng.randbytes(rng.randrange(0, 4))
    if roll < 0.4:
        return b"\0\1" + rng.randbytes(rng.randrange(0, 40)).replace(b"\0", b"x") + b"\0octet\0"
    if roll < 0.6:
        return bytes([0, rng.randrange(2, 6)]) + rng.randbytes(rng.randrange(0, 600))
    return rng.randbytes(rng.randrange(0, 1500))


def blast(count, kind, port, host=kit.LOCAL, sock=None, paced=False, until=None):
    """Sends count datagrams; paced: by hundreds, each after the receiver
    has read the last (so they reach the code instead of overflowing the
    socket's buffer); until: stop early once this event is set."""
    sock = sock or kit.udp_socket()
    sock.setblocking(False)
    start = time.monotonic()
    sent = 0
    for _ in range(count):
        if until is not None and until.is_set():
            break
        if paced and _ % 100 == 0:
            while socket_queue(port)[0] > 0 and time.monotonic() - start < 120:
                time.sleep(0.0005)
        sent += 1
        try:
            sock.sendto(garbage(kind), (host, port))
        except (BlockingIOError, ConnectionRefusedError):
            pass
        if _ % 256 == 0:  # drain whatever comes back (refusals, errors)
            try:
                while True:
                    sock.recvfrom(4096)
            except (BlockingIOError, ConnectionRefusedError):
                pass
    return time.monotonic() - start, sent


def socket_queue(port):
    """(bytes queued, drops) of the sockets bound to a UDP port."""
    queued = drops = 0
    with open("/proc/net/udp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            if fields[1].endswith(":%04X" % port):
                queued += int(fields[4].split(":")[1], 16)
                drops += int(fields[-1])
    return queued, drops


def bound(port):
    with open("/proc/net/udp") as table:
        return any(line.split()[1].endswith(":%04X" % port) for line in table.readlines()[1:])


def wait_drained(port, timeout=60):
    start = time.monotonic()
    while time.monotonic() - start < timeout:
        if socket_queue(port)[0] == 0:
            return time.monotonic() - start
        time.sleep(0.02)
    return None


class Lines:
    """Collects a child's stdout lines from a thread, so that a chatty child
    never blocks on a full pipe while garbage is being sent."""

    def __init__(self, process):
        self.lines = []
        self.changed = threading.Condition()
        threading.Thread(target=self._read, args=(process.stdout,), daemon=True).start()

    def _read(self, stream):
        for raw in stream:
            with self.changed:
                self.lines.append(raw.decode(errors="replace"))
                self.changed.notify_all()

    def wait_for(self, text, timeout):
        with self.changed:
            return self.changed.wait_for(lambda: any(text in l for l in self.lines), timeout)


def detector_host(build, count):
    host = subprocess.Popen([f"{build}/bench/discovery-bench", "serve", "600"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    lines = Lines(host)
    try:
        lines.wait_for("listening", 10)
        rss0, _ = kit.rss_kb(host.pid)
        took, _ = blast(count, "reply", 5998)
        drained = wait_drained(5998)
        rss1, hwm = kit.rss_kb(host.pid)
        check = kit.udp_socket()
        start = time.monotonic()
        check.sendto(b"KOV-1,1.7.0,10.0.0.99,GARBAGE:CHECK", (kit.LOCAL, 5998))
        listed = lines.wait_for("row GARBAGE:CHECK", 10)
        latency = time.monotonic() - start
        alive = host.poll() is None
        accepted = sum(1 for line in lines.lines if line.startswith("row ")) - (1 if listed else 0)
        print(f"garbage 5998 (detector host): {count} datagrams sent in {took:.2f} s, "
              f"drained {'in %.2f s' % drained if drained is not None else 'never'}, "
              f"{socket_queue(5998)[1]} dropped by the kernel, {accepted} garbage rows "
              f"accepted; RSS {rss0 / 1024:.1f} -> {rss1 / 1024:.1f} MiB (peak {hwm / 1024:.1f}); "
              f"alive {alive}; a normal reply {'listed' if listed else 'NOT listed'} "
              f"after {latency * 1000:.0f} ms")
        return alive and listed
    finally:
        host.kill()
        host.wait()


def tool(build, count):
    log = open("/tmp/garbage-kov-tool.log", "wb")
    app = subprocess.Popen([f"{build}/app/kov-tool"], stdout=log, stderr=log)
    try:
        deadline = time.monotonic() + 15
        while not bound(5998) and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(0.5)
        rss0, _ = kit.rss_kb(app.pid)
        cpu0 = sum(os.times()[2:4])
        took, _ = blast(count, "reply", 5998)
        drained = wait_drained(5998)
        time.sleep(0.5)
        rss1, hwm = kit.rss_kb(app.pid)
        alive = app.poll() is None
        print(f"garbage 5998 (kov-tool, offscreen): {count} datagrams sent in {took:.2f} s, "
              f"drained {'in %.2f s' % drained if drained is not None else 'never'}, "
              f"{socket_queue(5998)[1]} dropped by the kernel; RSS {rss0 / 1024:.1f} -> "
              f"{rss1 / 1024:.1f} MiB (peak {hwm / 1024:.1f}); alive {alive}")
        return alive
    finally:
        app.terminate()
        try:
            app.wait(timeout=10)
        except subprocess.TimeoutExpired:
            app.kill()
            app.wait()


def tftpd(build, root, count):
    image = open(os.path.join(root, "resources/firmware/KOV_rev7_1.7.0.hex"), "rb").read()
    log = open("/tmp/garbage-kov-tftpd.log", "wb")
    server = subprocess.Popen([f"{build}/tools/kov-tftpd"], stdout=log, stderr=log)
    ok = True
    try:
        if not kit.wait_for_port(69):
            print("garbage: kov-tftpd did not answer on port 69")
            return False
        rss0, _ = kit.rss_kb(server.pid)
        took, _ = blast(count, "tftp", 69, paced=True)
        drained = wait_drained(69)
        time.sleep(1)
        rss1, hwm = kit.rss_kb(server.pid)
        code, data, fetch = kit.curl_fetch()
        good = code == 0 and data == image
        ok &= good and server.poll() is None
        print(f"garbage 69 (kov-tftpd): {count} datagrams sent (paced) in {took:.2f} s, drained "
              f"{'in %.2f s' % drained if drained is not None else 'never'}, "
              f"{socket_queue(69)[1]} dropped by the kernel; RSS {rss0 / 1024:.1f} -> "
              f"{rss1 / 1024:.1f} MiB (peak {hwm / 1024:.1f}); fetch after: "
              f"{'OK' if good else 'FAILED'} ({len(data)} bytes, {fetch * 1000:.0f} ms)")

        # A slow client (5 ms before each ACK) while a stranger sends
        # garbage to the session's port the whole time.
        transfer = kit.Fetch()
        if not transfer.start():
            print(f"garbage session: no transfer started ({transfer.error})")
            return False
        finished = threading.Event()
        result = {}

        def client():
            result["data"] = transfer.finish(pause=0.005)
            finished.set()

        thread = threading.Thread(target=client)
        thread.start()
        took, sent = blast(count, "tftp", transfer.session[1], sock=kit.udp_socket(),
                           paced=True, until=finished)
        thread.join()
        good = result.get("data") == image
        ok &= good and server.poll() is None
        print(f"garbage session port (from a stranger, during a slow transfer): {sent} "
              f"datagrams sent in {took:.2f} s; the transfer "
              f"{'completed intact' if good else 'FAILED: %s' % transfer.error}")
        code, data, fetch = kit.curl_fetch()
        good = code == 0 and data == image
        ok &= good
        print(f"garbage: fetch at the end {'OK' if good else 'FAILED'} ({fetch * 1000:.0f} ms); "
              f"kov-tftpd alive {server.poll() is None}")
        return ok
    finally:
        server.terminate()
        server.wait(timeout=10)


def main():
    build, root, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    results = [detector_host(build, count)]
    if os.path.exists(f"{build}/app/kov-tool"):
        results.append(tool(build, count))
    results.append(tftpd(build, root, count))
    return 0 if all(results) else 1


sys.exit(main())
