#!/usr/bin/env python3
"""A phone of the LAN suite, run inside its own network namespace.

  phone.py --own ADDR/PREFIX --clip FILE [--want ADDR] [--timeout S] [--keep S --stream FILE]
  phone.py --own ADDR/PREFIX --silence S [--refused ADDR]

It listens for the PC's broadcast on UDP 0.0.0.0:7171 as a phone does, then
on the announced address asks for both lists on the link port and fetches
the first KiB of the shared clip over HTTP. With --silence it only listens
for that long and tries the link port of --refused. With --keep, once done
it prints "found" and goes on as a phone playing a video: both lists every
second on its link, and --stream (a shared file) read in 64 KiB ranges over
one HTTP connection, for that long; any failure ends it. Prints "listening" once
its socket is bound, then one JSON object at the end; times in it are
CLOCK_MONOTONIC seconds, shared by every namespace, so that the driver can
measure from its own moments."""

import argparse
import http.client
import ipaddress
import json
import os
import select
import socket
import struct
import sys
import time

DISCOVERY_PORT = 7171
HTTP_PORT = 11717
LINK_PORT = 11718
MAGIC = b"qbvr"
TRAILER = b"rvbq"
PACKET_SIZE = 77
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)
LISTS = (256, 257)


class Refused(Exception):
    """What the PC answered cannot be used; the phone tries again later."""


def parse_packet(data):
    """The announced address and ports, or the reason the packet is not one."""
    if len(data) != PACKET_SIZE:
        return None, "%d bytes" % len(data)
    if data[:4] != MAGIC or data[4] != 1:
        return None, "bad magic or version %r" % data[:5]
    address = data[5:69].split(b"\0", 1)[0].decode("ascii", "replace")
    http_port, link_port = struct.unpack_from("<II", data, 69)
    if (http_port, link_port) != (HTTP_PORT, LINK_PORT):
        return None, "ports %d %d" % (http_port, link_port)
    return address, None


def read_answer(sock, command, deadline):
    """The entries of one list response to a request with stamp 0."""
    received = b""
    while True:
        if received[:4] == MAGIC and received[5:7] == b"\xff\xff":
            raise Refused("list %d rejected" % command)
        if len(received) >= 15:
            header_command = struct.unpack_from("<H", received, 5)[0]
            if received[:5] != MAGIC + b"\x01" or header_command != command:
                raise Refused("list %d answered with %r" % (command, received[:7]))
            if received[11:15] == TRAILER:
                raise Refused("list %d came without its body" % command)
        if len(received) >= 19:
            count = struct.unpack_from("<I", received, 11)[0]
            entries, used = parse_entries(received, 15, count)
            if entries is not None:
                if received[used:used + 4] == TRAILER:
                    return entries
                if len(received) >= used + 4:
                    raise Refused("list %d: no trailer after %d entries" % (command, count))
        left = deadline - time.monotonic()
        if left <= 0:
            raise Refused("list %d: no whole answer in time (%d bytes)" % (command, len(received)))
        sock.settimeout(left)
        chunk = sock.recv(65536)
        if not chunk:
            raise Refused("list %d: the PC closed the link" % command)
        received += chunk


def parse_entries(data, pos, count):
    """The entries of a list body and where they end, or None while incomplete."""
    entries = []
    for _ in range(count):
        if len(data) < pos + 4:
            return None, pos
        exists, thumb = data[pos], data[pos + 1]
        name_length = struct.unpack_from("<H", data, pos + 2)[0]
        pos += 4
        if len(data) < pos + name_length + 2:
            return None, pos
        name = data[pos:pos + name_length].decode("gbk", "replace")
        pos += name_length
        key_length = struct.unpack_from("<H", data, pos)[0]
        pos += 2
        if len(data) < pos + key_length:
            return None, pos
        key = data[pos:pos + key_length].decode("ascii", "replace")
        pos += key_length
        entries.append({"name": name, "key": key, "exists": exists, "thumbnail": thumb})
    return entries, pos


def exchange(address, clip, deadline):
    """Both lists, then the clip's first KiB by its key, as a phone asks."""
    result = {"lists": {}}
    name = os.path.basename(clip)
    with socket.create_connection((address, LINK_PORT), timeout=3) as link:
        # The clip is examined after the service starts: poll until it is listed.
        while True:
            for command in LISTS:
                # Stamp 0: this phone holds no copy, so every answer carries the list.
                link.sendall(MAGIC + struct.pack("<BHI", 1, command, 0))
                result["lists"][str(command)] = read_answer(link, command, deadline)
            shared = [e for e in result["lists"]["256"] if e["name"] == name and e["exists"]]
            if shared:
                break
            if time.monotonic() > deadline:
                raise Refused("%s is not in list 256: %s" % (name, result["lists"]["256"]))
            time.sleep(0.2)
    key = shared[0]["key"]
    connection = http.client.HTTPConnection(address, HTTP_PORT, timeout=3)
    try:
        connection.request("GET", "/" + key, headers={"Range": "bytes=0-1023"})
        response = connection.getresponse()
        body = response.read()
    finally:
        connection.close()
    with open(clip, "rb") as f:
        start = f.read(1024)
    result["http"] = {"status": response.status, "bytes": len(body), "same": body == start}
    if response.status != 206 or body != start:
        raise Refused("GET /%s bytes=0-1023: %d, %d bytes, %s" % (
            key, response.status, len(body), "same" if body == start else "not the clip's start"))
    return result


def keep(address, key, size, seconds):
    """Lists each second and a stream in 64 KiB ranges, as a playing phone; the failure or None."""
    deadline, offset, rounds, next_list = time.monotonic() + seconds, 0, 0, 0.0
    try:
        with socket.create_connection((address, LINK_PORT), timeout=5) as link:
            connection = http.client.HTTPConnection(address, HTTP_PORT, timeout=5)
            while time.monotonic() < deadline:
                for command in LISTS if time.monotonic() >= next_list else ():
                    link.sendall(MAGIC + struct.pack("<BHI", 1, command, 0))
                    read_answer(link, command, time.monotonic() + 5)
                    next_list = time.monotonic() + 1
                end = min(offset + 65535, size - 1)
                connection.request("GET", "/" + key, headers={"Range": "bytes=%d-%d" % (offset, end)})
                response = connection.getresponse()
                body = response.read()
                if response.status != 206 or len(body) != end - offset + 1:
                    return "range %d-%d: %d, %d bytes" % (offset, end, response.status, len(body))
                offset, rounds = (end + 1) % size, rounds + 1
                time.sleep(0.02)
    except (OSError, Refused, http.client.HTTPException) as error:
        return "after %d ranges: %s" % (rounds, error or type(error).__name__)
    return None


def listener():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    # Each datagram's destination address: the broadcast it was sent to.
    sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    sock.bind(("0.0.0.0", DISCOVERY_PORT))
    print("listening", flush=True)
    return sock


def packets(sock, deadline):
    """(arrival time, destination address, bytes) of each datagram until the deadline."""
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            return
        if select.select([sock], [], [], left)[0]:
            data, ancillary, _, _ = sock.recvmsg(4096, socket.CMSG_SPACE(12))
            to = None
            for level, kind, value in ancillary:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
                    to = socket.inet_ntoa(value[8:12])  # in_pktinfo.ipi_addr
            yield time.monotonic(), to, data


def find(args):
    report = {"started": time.monotonic(), "ok": False, "ignored": [], "errors": []}
    network = ipaddress.ip_interface(args.own).network
    deadline = report["started"] + args.timeout
    with listener() as sock:
        for heard, to, data in packets(sock, deadline):
            address, fault = parse_packet(data)
            if fault is None and ipaddress.ip_address(address) not in network:
                fault = "announces %s, outside %s" % (address, network)
            if fault is None and to != str(network.broadcast_address):
                fault = "sent to %s, not to %s" % (to, network.broadcast_address)
            if fault is None and args.want and address != args.want:
                fault = "announces %s, not %s" % (address, args.want)
            if fault:
                if len(report["ignored"]) < 5 and fault not in report["ignored"]:
                    report["ignored"].append(fault)
                continue
            if "heard" not in report:
                report["heard"], report["heard_after"] = heard, heard - report["started"]
            report["address"], report["to"] = address, to
            try:
                report.update(exchange(address, args.clip, deadline))
            except (OSError, Refused) as error:
                if len(report["errors"]) < 5:
                    report["errors"].append("%s: %s" % (address, error))
                continue
            report["ok"], report["done"] = True, time.monotonic()
            break
    if report["ok"] and args.keep:
        print("found", flush=True)
        key = [e["key"] for e in report["lists"]["256"]
               if e["name"] == os.path.basename(args.stream)][0]
        cut = keep(report["address"], key, os.path.getsize(args.stream), args.keep)
        report["ok"], report["kept"] = cut is None, cut or "kept"
    return report


def silence(args):
    report = {"announced": []}
    with listener() as sock:
        for _, _, data in packets(sock, time.monotonic() + args.silence):
            address, fault = parse_packet(data)
            text = address or fault
            if text not in report["announced"]:
                report["announced"].append(text)
    if args.refused:
        try:
            socket.create_connection((args.refused, LINK_PORT), timeout=3).close()
            report["connect"] = "connected"
        except OSError as error:
            report["connect"] = error.strerror or str(error)
    report["ok"] = not report["announced"] and report.get("connect", "") != "connected"
    return report


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--own", required=True, help="this phone's address/prefix")
    parser.add_argument("--clip", help="the shared clip, to compare the fetched bytes with")
    parser.add_argument("--want", help="accept only this announced address")
    parser.add_argument("--timeout", type=float, default=20)
    parser.add_argument("--silence", type=float, help="only listen this long, expecting nothing")
    parser.add_argument("--refused", help="with --silence: the link port here must not answer")
    parser.add_argument("--keep", type=float, help="once done, keep lists and a stream this long")
    parser.add_argument("--stream", help="with --keep: the shared file to stream")
    args = parser.parse_args()
    report = silence(args) if args.silence else find(args)
    json.dump(report, sys.stdout)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
