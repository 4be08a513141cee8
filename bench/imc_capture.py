# Passive capture of the IMC datagrams on one interface (run inside the
# host namespace on its veth end): one line a datagram with the kernel's
# receive time stamp, so the benchmark can time a session step to the
# microsecond instead of the IMC log's millisecond. Sends nothing.
#   python3 capture.py IFACE OUTFILE
# Line: "SECONDS SRC DST PAYLOAD-BYTES MAGIC FLAGS" (MAGIC: the frame's first
# four characters, IMCC/IMCR/IMCN; FLAGS: the flag word that follows them,
# in hex).
import socket
import struct
import sys
import time

ETH_P_ALL = 0x0003
SO_TIMESTAMPNS = 35
IMC_PORT = 8888


def main():
    iface, path = sys.argv[1], sys.argv[2]
    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    s.bind((iface, 0))
    s.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    out = open(path, "w", buffering=1)
    while True:
        data, ancillary, _, _ = s.recvmsg(65535, 256)
        stamp = None
        for level, kind, value in ancillary:
            if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                sec, nsec = struct.unpack("qq", value[:16])
                stamp = sec + nsec / 1e9
        if stamp is None:
            stamp = time.time()
        if len(data) < 42 or data[12:14] != b"\x08\x00" or data[23] != 17:
            continue
        ihl = (data[14] & 0x0F) * 4
        udp = 14 + ihl
        sport, dport, ulen = struct.unpack("!HHH", data[udp:udp + 6])
        if IMC_PORT not in (sport, dport):
            continue
        payload = data[udp + 8:udp + ulen]
        src = socket.inet_ntoa(data[26:30])
        dst = socket.inet_ntoa(data[30:34])
        magic = payload[:4].decode("latin-1").replace(" ", "_") or "-"
        flags = payload[4:8].hex() if len(payload) >= 8 else "-"
        out.write("%.6f %s %s %d %s %s\n" % (stamp, src, dst, len(payload), magic, flags))


if __name__ == "__main__":
    main()
