"""Read-request flood against kov-tftpd; see bench/rrq-flood."""
import os
import resource
import select
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import floodkit as kit  # noqa: E402


def port_lines(port):
    with open("/proc/net/udp") as table:
        return [line.split() for line in table.readlines()[1:]
                if line.split()[1].endswith(":%04X" % port)]


def socket_queue(port):
    return sum(int(fields[4].split(":")[1], 16) for fields in port_lines(port))


def socket_drops(port):
    return sum(int(fields[-1]) for fields in port_lines(port))


class Counter:
    """Reads everything the sessions send to the flooding socket, from a
    thread, so that nothing is lost at our end while requests go out."""

    def __init__(self, sock):
        self.sock = sock
        self.sessions, self.packets, self.data, self.errors = set(), 0, 0, 0
        self.last = time.monotonic()
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while self.running:
            ready, _, _ = select.select([self.sock], [], [], 0.05)
            while ready:
                try:
                    packet, source = self.sock.recvfrom(2048)
                except BlockingIOError:
                    break
                self.last = time.monotonic()
                self.packets += 1
                if packet[:2] == b"\0\3":
                    self.data += 1
                    self.sessions.add(source[1])
                elif packet[:2] == b"\0\5":
                    self.errors += 1

    def stop(self):
        self.running = False
        self.thread.join()


def flood(server, count, paced, nofile, image, number):
    rss0, _ = kit.rss_kb(server.pid)
    fds0 = kit.open_fds(server.pid)
    drops0 = socket_drops(69)
    sock = kit.udp_socket(buffer=1 << 23)
    sock.setblocking(False)
    counter = Counter(sock)
    request = kit.rrq(kit.IMAGE_NAME)
    start = time.monotonic()
    peak_rss, peak_fds = rss0, fds0
    for index in range(count):
        if paced and index % 100 == 0:
            # Let the server read what it has before the next hundred.
            while socket_queue(69) > 0 and time.monotonic() - start < 30:
                time.sleep(0.001)
            peak_rss = max(peak_rss, kit.rss_kb(server.pid)[0])
            peak_fds = max(peak_fds, kit.open_fds(server.pid))
        while True:
            try:
                sock.sendto(request, (kit.LOCAL, 69))
                break
            except BlockingIOError:
                select.select([], [sock], [], 0.01)
    sent = time.monotonic() - start

    # Until the abandoned sessions have given up: no packet for 2 s.
    while True:
        now = time.monotonic()
        peak_rss = max(peak_rss, kit.rss_kb(server.pid)[0])
        peak_fds = max(peak_fds, kit.open_fds(server.pid))
        if now - start > 60 or (now - start > 7 and now - counter.last > 2):
            break
        time.sleep(0.05)
    counter.stop()
    ended = time.monotonic() - start
    time.sleep(0.5)
    rss1, hwm = kit.rss_kb(server.pid)
    fds1 = kit.open_fds(server.pid)
    code, data, took = kit.curl_fetch()
    ok = code == 0 and data == image

    how = "paced by hundreds" if paced else "in one burst"
    if nofile:
        how += f", server descriptor limit {nofile}"
    print(f"rrq-flood #{number}: {count} read requests sent in {sent * 1000:.0f} ms, {how}; "
          f"{counter.data} DATA packets from {len(counter.sessions)} distinct session ports "
          f"(each session sends block 1 six times: {counter.data / 6:.0f} sessions served), "
          f"{counter.errors} errors, {socket_drops(69) - drops0} requests dropped at port 69; "
          f"quiet after {ended:.1f} s")
    print(f"rrq-flood #{number}: server RSS before {rss0 / 1024:.1f} MiB, peak "
          f"{peak_rss / 1024:.1f} MiB (high-water {hwm / 1024:.1f} MiB), after "
          f"{rss1 / 1024:.1f} MiB; descriptors before {fds0}, peak {peak_fds}, after {fds1}")
    print(f"rrq-flood #{number}: fetch after the flood: {'OK' if ok else 'FAILED'} "
          f"({len(data)} of {len(image)} bytes, curl exit {code}, {took * 1000:.0f} ms)")
    return ok


def main():
    server_exe, root = sys.argv[1], sys.argv[2]
    args = sys.argv[3:]
    count, nofile, paced, rounds = 10000, None, False, 1
    while args:
        arg = args.pop(0)
        if arg == "--nofile":
            nofile = int(args.pop(0))
        elif arg == "--paced":
            paced = True
        elif arg == "--rounds":
            rounds = int(args.pop(0))
        else:
            count = int(arg)
    image = open(os.path.join(root, "resources/firmware/KOV_rev7_1.7.0.hex"), "rb").read()

    def limit():
        if nofile:
            resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))

    log = open("/tmp/rrq-flood-server.log", "wb")
    server = subprocess.Popen([server_exe, "--quiet"], stdout=log, stderr=log,
                              preexec_fn=limit)
    try:
        if not kit.wait_for_port(69):
            print("rrq-flood: kov-tftpd did not answer on port 69")
            return 1
        time.sleep(0.2)
        results = [flood(server, count, paced, nofile, image, n + 1) for n in range(rounds)]
        alive = server.poll() is None
        if not alive:
            print("rrq-flood: kov-tftpd DIED")
        return 0 if all(results) and alive else 1
    finally:
        server.terminate()
        server.wait(timeout=10)


sys.exit(main())
