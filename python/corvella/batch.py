"""python3 -m corvella.batch: what `corvella convert --batch --resample W,H` does, on a Dask
distributed cluster.

Each INPUT is opened, resampled and saved as DIR/<name>.jpg by a worker, with one corvella.Pictron
per file. Without --scheduler a local cluster with one worker process per core is started; with
--scheduler tcp://host:8786 the files go to an existing cluster whose workers have the module
installed. Workers read the inputs themselves (a shared or network file system) or, with
--ship-bytes, are sent their bytes; they write the outputs. A failing file is reported as
"INPUT: error NUMBER (SOURCE): DESCRIPTION" and the batch goes on; a summary ends it, and the
status is 1 when any file failed (2 for a fault in the command line).
"""

import argparse
import logging
import os
import sys

# Errors that are not the component's own, numbered as the runtime errors that scripts see.
_INVALID_CALL = -2146828283  # 0x800A0005, runtime error 5
_SOURCE = "corvella.batch"


def convert(source, output, width, height):
    """Runs on a worker: opens @source (a path, or the file's bytes), resamples it to width x
    height (0 keeps the proportions) and saves @output as JPEG. Answers None, or the error as
    (number, source, description)."""
    import corvella

    picture = corvella.Pictron()
    try:
        if isinstance(source, str):
            picture.OpenFile(source)
        else:
            picture.OpenBinary(source)
        picture.Resample(width, height)
        os.makedirs(os.path.dirname(output), exist_ok=True)
        picture.SaveFile(output)
    except corvella.Error as error:
        return (error.number, error.source, error.description)
    return None


def _read(path):
    """The bytes of @path for --ship-bytes, or the error that opening it on a worker would give."""
    try:
        with open(path, "rb") as file:
            return file.read(), None
    except OSError as failure:
        import corvella

        try:
            corvella.Pictron().OpenFile(path)
        except corvella.Error as error:
            return None, (error.number, error.source, error.description)
        return None, (_INVALID_CALL, _SOURCE, str(failure))


def plan(inputs, out_dir):
    """The output of every input, made before anything is converted; ValueError when two inputs
    would be written to one output or an output would overwrite an input."""
    outputs, seen = [], {}
    sources = {os.path.realpath(name) for name in inputs}
    for name in inputs:
        output = os.path.join(out_dir, os.path.splitext(os.path.basename(name))[0] + ".jpg")
        key = os.path.realpath(output)
        if key in seen:
            raise ValueError(f"'{seen[key]}' and '{name}' would both be written to '{output}'")
        if key in sources:
            raise ValueError(f"'{output}' would overwrite an input")
        seen[key] = name
        outputs.append(output)
    return outputs


class _Progress:
    """The progress bar of `corvella convert --batch`, on a terminal only."""

    def __init__(self, stream, total):
        self.stream, self.total, self.drawn = stream, total, False
        self.enabled = stream.isatty()

    def show(self, done, current=""):
        if not self.enabled:
            return
        filled = 30 if done >= self.total else done * 30 // self.total
        count = str(self.total)
        name = current if len(current) <= 40 else "..." + current[-37:]
        self.stream.write(f"\r\033[K[{'#' * filled}{'.' * (30 - filled)}] "
                          f"{str(done).rjust(len(count))}/{count} {name}".rstrip())
        self.stream.flush()
        self.drawn = True

    def clear(self):
        if self.drawn:
            self.stream.write("\r\033[K")
            self.stream.flush()
            self.drawn = False


def run(client, inputs, out_dir, width, height, ship_bytes=False, stream=sys.stderr):
    """Converts @inputs on the cluster of @client into @out_dir, reporting to @stream; answers the
    number of files that failed."""
    from distributed import as_completed

    outputs = plan(inputs, out_dir)
    futures, failures = {}, []
    for name, output in zip(inputs, outputs):
        output = os.path.abspath(output)
        if ship_bytes:
            data, error = _read(name)
            if error is not None:
                failures.append((name, error))
                continue
            future = client.submit(convert, data, output, width, height, pure=False)
        else:
            future = client.submit(convert, os.path.abspath(name), output, width, height, pure=False)
        futures[future] = name

    bar = _Progress(stream, len(inputs))
    done = 0
    for name, error in failures:
        _report(stream, bar, name, error)
        done += 1
    for future, error in as_completed(futures, with_results=True, raise_errors=False):
        name = futures[future]
        if future.status != "finished":  # a worker lost, a task that could not run
            failure = error[1] if isinstance(error, tuple) else error  # (type, value, traceback)
            error = (_INVALID_CALL, _SOURCE, f"{type(failure).__name__}: {failure}")
        if error is not None:
            failures.append((name, error))
            _report(stream, bar, name, error)
        done += 1
        bar.show(done, name)
    bar.clear()

    total, failed = len(inputs), len(failures)
    if failed == 0:
        stream.write(f"converted {total} {'file' if total == 1 else 'files'} into {out_dir}\n")
    else:
        stream.write(f"converted {total - failed} of {total} files into {out_dir}; {failed} failed\n")
    return failed


def _report(stream, bar, name, error):
    bar.clear()
    number, source, description = error
    stream.write(f"{name}: error {number} ({source}): {description}\n")


def _size(text):
    parts = text.split(",")
    try:
        width, height = (int(part) for part in parts)
    except ValueError:
        raise argparse.ArgumentTypeError(f"'{text}' is not W,H (two whole numbers)") from None
    return width, height


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m corvella.batch",
        description="Resamples images into JPEG files on a Dask distributed cluster, as "
                    "`corvella convert --batch --resample W,H` does on one machine.")
    parser.add_argument("inputs", nargs="+", metavar="INPUT")
    parser.add_argument("--out-dir", required=True, metavar="DIR", help="folder of the outputs")
    parser.add_argument("--resample", required=True, type=_size, metavar="W,H",
                        help="new size; 0 for one side keeps the proportions")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="an existing cluster's scheduler (tcp://host:8786); without it a "
                             "local cluster with one worker process per core is started")
    parser.add_argument("--workers", type=int, default=len(os.sched_getaffinity(0)),
                        metavar="N", help="worker processes of the local cluster")
    parser.add_argument("--ship-bytes", action="store_true",
                        help="send each file's bytes to the workers instead of its path")
    args = parser.parse_args(argv)
    if not args.out_dir:
        parser.error("--out-dir: the folder name is empty")
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    try:
        plan(args.inputs, args.out_dir)
    except ValueError as fault:
        parser.error(str(fault))
    try:
        os.makedirs(args.out_dir, exist_ok=True)
    except OSError as failure:
        sys.stderr.write(f"corvella.batch: cannot create the output folder '{args.out_dir}': "
                         f"{failure.strerror}\n")
        return 1

    from distributed import Client, LocalCluster

    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
        client = Client(cluster)
    with client:
        failed = run(client, args.inputs, args.out_dir, *args.resample, ship_bytes=args.ship_bytes)
    if not args.scheduler:
        cluster.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
