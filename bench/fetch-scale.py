"""Concurrent fetches from kov-tftpd and tftpd-hpa; see bench/fetch-scale."""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import floodkit as kit  # noqa: E402


def fetch_all(count, image):
    """count curl fetches started together, each into a file of its own (a
    client blocked on a full pipe would stop acknowledging); (seconds until
    all ended, failed or corrupt transfers)."""
    folder = tempfile.mkdtemp(prefix="fetch-scale-out-")
    try:
        start = time.monotonic()
        clients = [subprocess.Popen(
            ["curl", "-s", "--tftp-no-options", "--max-time", "60",
             f"tftp://{kit.LOCAL}/{kit.IMAGE_NAME}", "-o", os.path.join(folder, str(i))],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for i in range(count)]
        codes = [client.wait() for client in clients]
        took = time.monotonic() - start
        failed = 0
        for i, code in enumerate(codes):
            path = os.path.join(folder, str(i))
            if code != 0 or not os.path.exists(path) or open(path, "rb").read() != image:
                failed += 1
        return took, failed
    finally:
        shutil.rmtree(folder)


def measure(command, counts, rounds, image):
    log = open(f"/tmp/fetch-scale-{os.path.basename(command[0])}.log", "wb")
    server = subprocess.Popen(command, stdout=log, stderr=log)
    try:
        if not kit.wait_for_port(69):
            raise SystemExit(f"fetch-scale: {command[0]} did not answer on port 69")
        results = {}
        for count in counts:
            runs = [fetch_all(count, image) for _ in range(rounds)]
            results[count] = (statistics.median(r[0] for r in runs), sum(r[1] for r in runs))
        return results
    finally:
        server.terminate()
        server.wait(timeout=10)


def main():
    exe, root = sys.argv[1], sys.argv[2]
    args = sys.argv[3:]
    rounds = 3
    if args[:1] == ["--rounds"]:
        rounds = int(args[1])
        args = args[2:]
    counts = [int(a) for a in args] or [1, 10, 50, 200]
    path = os.path.join(root, "resources/firmware/KOV_rev7_1.7.0.hex")
    image = open(path, "rb").read()

    served = tempfile.mkdtemp(prefix="fetch-scale-")
    os.chmod(served, 0o755)
    shutil.copy(path, os.path.join(served, kit.IMAGE_NAME))
    os.chmod(os.path.join(served, kit.IMAGE_NAME), 0o644)
    try:
        ours = measure([exe, "--quiet"], counts, rounds, image)
        hpa = measure(["/usr/sbin/in.tftpd", "--foreground", "--listen", "--ipv4",
                       "--address", ":69", "--secure", served], counts, rounds, image)
    finally:
        shutil.rmtree(served)

    total = rounds * 1
    print(f"fetch-scale: {len(image)}-byte image, 512-byte blocks, curl clients, "
          f"median of {rounds} rounds")
    for count in counts:
        (t_ours, f_ours), (t_hpa, f_hpa) = ours[count], hpa[count]
        print(f"fetch-scale {count:4} concurrent: kov-tftpd {t_ours * 1000:8.1f} ms, "
              f"tftpd-hpa {t_hpa * 1000:8.1f} ms, ratio {t_ours / t_hpa:5.2f}; "
              f"failed kov-tftpd {f_ours}/{count * rounds}, tftpd-hpa {f_hpa}/{count * rounds}; "
              f"throughput kov-tftpd {count * len(image) / t_ours / 1e6:.1f} MB/s, "
              f"tftpd-hpa {count * len(image) / t_hpa / 1e6:.1f} MB/s")
    return 0 if all(ours[c][1] == 0 for c in counts) else 1


sys.exit(main())
