#!/usr/bin/env python3
"""The same 40 photos resampled to 160 pixels wide as JPEG, in one run, three ways:
  1. the corvella module in one process (corvella.batch.convert in a loop): the baseline;
  2. python3 -m corvella.batch's runner on a Dask local cluster of 2 worker processes (the
     cluster is started and warmed before the clock starts; its start-up is reported apart),
     reading the files on the workers and, again, shipping their bytes (--ship-bytes);
  3. `corvella convert --batch`, with one job and with two (threads of one process);
  and the module in two threads of one process (the lock is let go inside member calls).
Prints the seconds, files per second and ratios to the baseline, and the Dask path's overhead
per file: the processor time of the client, the scheduler and both workers during the run, less
what the idle cluster burns in as long and less the one-process run's processor time, per file. Being processor time, it does not depend on how
busy the machine is; the wall-clock ratios do (the load is printed with them). Goals: Dask at
least 1.7x the baseline, overhead under 10 ms.
  PYTHONPATH=build/release/python /usr/bin/python3 bench/python_batch.py [ROUNDS]
Environment: CORVELLA (the command, default build/release/cli/corvella)."""

import io
import logging
import os
import subprocess
import sys
import tempfile
import threading
import time

import corvella
from corvella import batch
from distributed import Client, LocalCluster

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IMAGES = os.path.join(ROOT, "tests", "data", "images")
SOURCES = ["dragonfly_4224x3168_prog.jpg", "seeding_5312x2988_base.jpg", "umang_3840x2160_base444.jpg"]
FILES, WIDTH = 40, 160


def make_photos(folder):
    """40 different 2400 x 1600 photos (3.8 megapixels), cut from the bundled large ones."""
    names = []
    for i in range(FILES):
        picture = corvella.Pictron()
        picture.OpenFile(os.path.join(IMAGES, SOURCES[i % len(SOURCES)]))
        x, y = (i * 37) % 1200, (i * 23) % 500
        picture.Crop(x, y, x + 2400, y + 1600)
        picture.Quality = 90
        names.append(os.path.join(folder, f"photo{i:02}.jpg"))
        picture.SaveFile(names[-1])
    return names


def one_process(photos, out):
    for name in photos:
        assert batch.convert(name, os.path.join(out, os.path.basename(name)), WIDTH, 0) is None


def in_threads(photos, out):
    threads = [threading.Thread(target=one_process, args=(half, out))
               for half in (photos[::2], photos[1::2])]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def timed(body, rounds, cpu=time.process_time):
    """The best wall time of @rounds runs (the one least disturbed by other work on the machine)
    and the least processor time that @cpu counted for a run."""
    best, least = float("inf"), float("inf")
    for _ in range(rounds):
        started, used = time.perf_counter(), cpu()
        body()
        best, least = min(best, time.perf_counter() - started), min(least, cpu() - used)
    return best, least


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    command = os.environ.get("CORVELLA", os.path.join(ROOT, "build", "release", "cli", "corvella"))
    with tempfile.TemporaryDirectory() as work:
        photos = make_photos(work)
        out = os.path.join(work, "out")
        os.makedirs(out)
        results = {"module, one process": timed(lambda: one_process(photos, out), rounds)}
        # The same in two threads of this process: the module lets go of the interpreter lock
        # inside every member call, so the halves run side by side.
        results["module, two threads"] = timed(lambda: in_threads(photos, out), rounds)

        started = time.perf_counter()
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
        client = Client(cluster)
        client.run(lambda: __import__("corvella").Pictron().FontFace)  # the module loaded on every worker
        startup = time.perf_counter() - started
        quiet = io.StringIO()
        cpu = lambda: time.process_time() + sum(client.run(time.process_time).values())
        for ship in (False, True):
            label = "Dask, 2 workers" + (", --ship-bytes" if ship else "")
            results[label] = timed(
                lambda: batch.run(client, photos, out, WIDTH, 0, ship_bytes=ship, stream=quiet), rounds, cpu)
        # What a running cluster burns without work (heartbeats, event loops), per second: it
        # grows with the wall time, not with the files, and is taken out of the overhead.
        used = cpu()
        time.sleep(2)
        idle = (cpu() - used) / 2
        noop = timed(lambda: client.gather(client.map(lambda i: i, range(FILES), pure=False)), rounds)
        client.close()
        cluster.close()

        children = lambda: os.times().children_user + os.times().children_system
        for jobs in (1, 2):
            results[f"corvella convert --batch --jobs {jobs}"] = timed(lambda: subprocess.run(
                [command, "convert", "--batch", "--jobs", str(jobs), "--out-dir", out,
                 "--resample", f"{WIDTH},0", *photos], check=True, stderr=subprocess.DEVNULL),
                rounds, children)

    base, base_cpu = results["module, one process"]
    print(f"{FILES} photos of 2400x1600 to {WIDTH} pixels wide, best of {rounds} runs, "
          f"{len(os.sched_getaffinity(0))} cores, load {os.getloadavg()[0]:.1f}")
    print(f"  {'':34} {'wall':>7}    {'files/s':>12} {'ratio':>6}  {'processor':>9}")
    for label, (seconds, used) in results.items():
        print(f"  {label:34} {seconds:7.3f} s  {FILES / seconds:6.1f} files/s  {base / seconds:5.2f}x"
              f"  {used:7.3f} s")
    for label in ("Dask, 2 workers", "Dask, 2 workers, --ship-bytes"):
        seconds, used = results[label]
        overhead = (used - idle * seconds - base_cpu) / FILES * 1000
        print(f"  overhead per file, {label:29} {overhead:6.1f} ms of processor time")
    print(f"  idle cluster                       {idle * 100:6.1f} % of a core")
    print(f"  Dask task round trip (no work)     {noop[0] / FILES * 1000:6.1f} ms per task")
    print(f"  cluster start-up (not in the times) {startup:.2f} s")


if __name__ == "__main__":
    main()
