"""Small pieces shared by the TFTP flood and garbage benchmarks: packets, a
lock-step client, process memory. Used only inside a private network
namespace (the bench scripts re-run themselves under scripts/netns-run),
against servers on 127.0.0.1."""
import os
import socket
import struct
import subprocess
import time

LOCAL = "127.0.0.1"
IMAGE_NAME = "kov-1-rev7.hex"


def rrq(name, mode="octet"):
    return b"\0\1" + name.encode() + b"\0" + mode.encode() + b"\0"


def ack(block):
    return struct.pack("!HH", 4, block & 0xFFFF)


def rss_kb(pid):
    """Resident and peak resident set size of a process, in KiB."""
    rss = hwm = 0
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
            elif line.startswith("VmHWM:"):
                hwm = int(line.split()[1])
    return rss, hwm


def open_fds(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def udp_socket(buffer=None):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    if buffer:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, buffer)
    sock.bind((LOCAL, 0))
    return sock


class Fetch:
    """One lock-step read of a file, acknowledging each block exactly once:
    the server moves on at every ACK, so a repeated ACK would skip a block.
    start() sends the request and waits for block 1; finish() does the rest."""

    def __init__(self, port=69, name=IMAGE_NAME, timeout=8.0):
        self.sock = udp_socket()
        self.sock.settimeout(0.2)
        self.port = port
        self.name = name
        self.timeout = timeout
        self.data = bytearray()
        self.session = None
        self.error = None

    def _receive(self, expected):
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            try:
                packet, source = self.sock.recvfrom(2048)
            except socket.timeout:
                continue
            opcode = struct.unpack("!H", packet[:2])[0] if len(packet) >= 2 else -1
            if opcode == 5:
                self.error = packet[4:].split(b"\0")[0].decode("latin-1")
                return None
            if opcode != 3 or len(packet) < 4:
                continue
            block = struct.unpack("!H", packet[2:4])[0]
            if self.session is None:
                self.session = source
            if source != self.session or block != expected:
                continue  # a resend of a block already acknowledged
            return packet[4:]
        self.error = f"no block {expected} within {self.timeout} s"
        return None

    def start(self):
        self.sock.sendto(rrq(self.name), (LOCAL, self.port))
        payload = self._receive(1)
        if payload is not None:
            self.data += payload
            self.last = len(payload) < 512
        return payload is not None

    def finish(self, pause=0.0):
        block = 1
        while True:
            if pause:
                time.sleep(pause)
            self.sock.sendto(ack(block), self.session)
            if self.last:
                return bytes(self.data)
            block += 1
            payload = self._receive(block)
            if payload is None:
                return None
            self.data += payload
            self.last = len(payload) < 512

    def run(self):
        return self.finish() if self.start() else None


def curl_fetch(port=69, name=IMAGE_NAME):
    """A fetch by a real TFTP client (curl), as a device's would be."""
    start = time.monotonic()
    result = subprocess.run(
        ["curl", "-s", "--tftp-no-options", "--max-time", "20",
         f"tftp://{LOCAL}:{port}/{name}", "-o", "-"],
        capture_output=True)
    return result.returncode, result.stdout, time.monotonic() - start


def wait_for_port(port, timeout=10.0):
    """Waits until something answers on UDP port (a refused write request)."""
    sock = udp_socket()
    sock.settimeout(0.2)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        sock.sendto(b"\0\2probe\0octet\0", (LOCAL, port))
        try:
            sock.recvfrom(2048)
            return True
        except (socket.timeout, ConnectionRefusedError):
            continue
    return False
