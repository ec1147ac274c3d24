"""Read-request flood against kov-tftpd; see bench/rrq-flood."""
import os
import resource
import select
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import floodkit as kit  # noqa: E402


def socket_drops(port):
    drops = 0
    with open("/proc/net/udp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            if fields[1].endswith(":%04X" % port):
                drops += int(fields[-1])
    return drops


def main():
    server_exe, root = sys.argv[1], sys.argv[2]
    args = sys.argv[3:]
    count, nofile = 10000, None
    while args:
        arg = args.pop(0)
        if arg == "--nofile":
            nofile = int(args.pop(0))
        else:
            count = int(arg)
    image = open(os.path.join(root, "resources/firmware/KOV_rev7_1.7.0.hex"), "rb").read()

    def limit():
        if nofile:
            resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))

    log = open("/tmp/rrq-flood-server.log", "wb")
    server = subprocess.Popen([server_exe], stdout=log, stderr=log, preexec_fn=limit)
    try:
        if not kit.wait_for_port(69):
            print("rrq-flood: kov-tftpd did not answer on port 69")
            return 1
        time.sleep(0.2)
        rss0, _ = kit.rss_kb(server.pid)
        fds0 = kit.open_fds(server.pid)

        flood = kit.udp_socket(buffer=1 << 23)
        flood.setblocking(False)
        request = kit.rrq(kit.IMAGE_NAME)
        start = time.monotonic()
        for _ in range(count):
            while True:
                try:
                    flood.sendto(request, (kit.LOCAL, 69))
                    break
                except BlockingIOError:
                    select.select([], [flood], [], 0.01)
        sent = time.monotonic() - start

        sessions, packets, errors = set(), 0, 0
        peak_rss, peak_fds, last_packet = rss0, fds0, time.monotonic()
        next_sample = 0.0
        while True:
            now = time.monotonic()
            if now >= next_sample:
                rss, _ = kit.rss_kb(server.pid)
                peak_rss = max(peak_rss, rss)
                peak_fds = max(peak_fds, kit.open_fds(server.pid))
                next_sample = now + 0.05
            if now - start > 30 or (now - start > 7 and now - last_packet > 2):
                break
            ready, _, _ = select.select([flood], [], [], 0.05)
            while ready:
                try:
                    packet, source = flood.recvfrom(2048)
                except BlockingIOError:
                    break
                last_packet = time.monotonic()
                packets += 1
                if packet[:2] == b"\0\3":
                    sessions.add(source[1])
                elif packet[:2] == b"\0\5":
                    errors += 1
        ended = time.monotonic() - start
        time.sleep(0.5)
        rss1, hwm = kit.rss_kb(server.pid)
        fds1 = kit.open_fds(server.pid)
        drops = socket_drops(69)
        code, data, took = kit.curl_fetch()
        ok = code == 0 and data == image

        limit_text = f", server descriptor limit {nofile}" if nofile else ""
        print(f"rrq-flood: {count} read requests sent in {sent * 1000:.0f} ms{limit_text}; "
              f"{len(sessions)} sessions sent data, {errors} errors, {packets} packets in all, "
              f"{drops} requests dropped at port 69; quiet after {ended:.1f} s")
        print(f"rrq-flood: server RSS before {rss0 / 1024:.1f} MiB, peak {peak_rss / 1024:.1f} MiB "
              f"(high-water {hwm / 1024:.1f} MiB), after {rss1 / 1024:.1f} MiB; "
              f"descriptors before {fds0}, peak {peak_fds}, after {fds1}")
        print(f"rrq-flood: fetch after the flood: {'OK' if ok else 'FAILED'} "
              f"({len(data)} of {len(image)} bytes, curl exit {code}, {took * 1000:.0f} ms)")
        return 0 if ok else 1
    finally:
        server.terminate()
        server.wait(timeout=10)


sys.exit(main())
