#!/usr/bin/python3
"""A bounded load test of the thumbnail page on loopback.

    load_test.py CORVELLA SITE [CLIENTS] [REQUESTS_PER_CLIENT]

Serves a copy of SITE and sends a fixed number of requests from many concurrent keep-alive
clients to thumb.asp. Passes when no request fails and the server's resident memory after the
last request is within a small margin of what it was after the warm-up (no leak); prints p50 and
p99 latency and the request rate.
"""

import http.client
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

# Resident memory may grow this much after the warm-up (allocator caches, thread stacks).
MAX_GROWTH_KB = 12 * 1024


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def run_clients(port, clients, count, latencies, failures):
    def client(index):
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        for i in range(count):
            width = 160 + 40 * ((index + i) % 3)  # three sizes, as a gallery asks
            started = time.perf_counter()
            try:
                connection.request("GET", "/thumb.asp?src=egret_600x450.jpg&w=%d" % width)
                response = connection.getresponse()
                body = response.read()
                if response.status != 200 or body[:2] != b"\xff\xd8":
                    failures.append("status %d" % response.status)
            except Exception as error:  # a reset or timeout counts as a failure
                failures.append(repr(error))
                connection.close()
                connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
            latencies.append(time.perf_counter() - started)
        connection.close()

    threads = [threading.Thread(target=client, args=(n,)) for n in range(clients)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def main():
    corvella, site_source = sys.argv[1:3]
    clients = int(sys.argv[3]) if len(sys.argv) > 3 else 16
    per_client = int(sys.argv[4]) if len(sys.argv) > 4 else 150
    work = tempfile.mkdtemp(prefix="corvella-load-")
    site = os.path.join(work, "site")
    shutil.copytree(site_source, site)
    server = subprocess.Popen([corvella, "serve", site, "--port", "0", "--log", os.devnull],
                              stderr=subprocess.PIPE, text=True)
    try:
        port = int(re.search(r":(\d+)/", server.stderr.readline()).group(1))
        failures = []
        run_clients(port, clients, max(2, per_client // 4), [], failures)  # warm-up
        before = resident_kb(server.pid)
        latencies = []
        started = time.perf_counter()
        run_clients(port, clients, per_client, latencies, failures)
        elapsed = time.perf_counter() - started
        after = resident_kb(server.pid)
    finally:
        server.terminate()
        server.wait(timeout=60)
        shutil.rmtree(work)
    latencies.sort()
    p50 = latencies[len(latencies) // 2] * 1000
    p99 = latencies[min(len(latencies) - 1, len(latencies) * 99 // 100)] * 1000
    print("%d requests from %d clients in %.1f s: %.0f requests/s, p50 %.1f ms, p99 %.1f ms, "
          "resident memory %d KB after warm-up, %d KB at the end"
          % (len(latencies), clients, elapsed, len(latencies) / elapsed, p50, p99, before, after))
    if failures:
        print("FAILED: %d requests failed, first: %s" % (len(failures), failures[0]))
        return 1
    if after - before > MAX_GROWTH_KB:
        print("FAILED: resident memory grew by %d KB under load" % (after - before))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
