"""Soak: the running viewer takes a long series of drops, a valid surface of
3 MiB and an invalid file by turns, with its memory read after each. From
drop 10 on, resident memory must grow by less than one file's size; at the
end the valid surface is still drawn and the viewer closes normally, having
raised no GL error. Both ways of handing the arrays to the driver are run.

The drops go to the viewer's own drop callback through a preloaded library
(drops.cpp), one per event poll, as fast as the frames allow.
Usage: soak_test.py PATH/TO/plexorama PATH/TO/libsoak_drops.so PATH/TO/make-samples [DROPS]"""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import xharness as xh  # noqa: E402
from picture_test import read_png  # noqa: E402
from startup_test import STARTED, STOPPED  # noqa: E402

BINARY = PRELOAD = MAKE_SAMPLES = None
DROPS = 200
SETTLED = 10  # the drop from which memory must stay flat
FIELDS = ("drop", "rss", "anon", "file", "shmem", "arena", "used", "free", "mmapped")
MIB = 1 << 20


def invalid_files(folder, valid_path):
    """Writes the files the viewer must refuse, all but the header cut short
    as large as the valid one, and returns their paths, a directory's and a
    missing file's."""
    with open(valid_path, "rb") as f:
        valid = f.read()
    size = len(valid)
    files = {
        "truncated.klein": valid[:-1],
        "foreign.klein": b"KLEIM" + valid[5:],
        "three-coordinates.klein": xh.klein_header(3, (size - 15) // 24) + bytes(size - 15),
        "too-large.klein": xh.klein_header(255, 2**32 - 1) + bytes(size - 15),
        "short-header.klein": valid[:9],
    }
    paths = []
    for name, data in files.items():
        paths.append(os.path.join(folder, name))
        with open(paths[-1], "wb") as f:
            f.write(data)
    paths.append(os.path.join(folder, "a-directory.klein"))
    os.mkdir(paths[-1])
    return paths + [os.path.join(folder, "missing.klein")]


def read_log(path):
    """The preload's lines so far; one it is still writing is left out."""
    with open(path) as f:
        return [dict(zip(FIELDS, map(int, line.split()))) for line in f if line.endswith("\n")]


def figures(rows, size):
    """The table a CI log shows: where the memory is at the drops that matter."""
    lines = ["drop   RSS  file-backed  shared  heap in use  heap free  other anon   (MiB)"]
    for drop in (0, 1, 2, SETTLED, DROPS // 2, DROPS):
        r = rows[drop]
        other = r["anon"] * 1024 - r["arena"] - r["mmapped"]
        lines.append(f"{drop:4d} {r['rss'] / 1024:6.1f} {r['file'] / 1024:12.1f} {r['shmem'] / 1024:7.1f}"
                     f" {r['used'] / MIB:12.1f} {r['free'] / MIB:10.1f} {other / MIB:11.1f}")
    growth = (rows[DROPS]["rss"] - rows[SETTLED]["rss"]) * 1024
    lines.append(f"RSS from drop {SETTLED} to {DROPS}: {growth / MIB:+.2f} MiB, {growth / size:+.2f} files"
                 f" of {size} bytes (limit +1)")
    return "\n".join(lines), growth


class Soak(xh.FolderTest):

    def test_memory_settles_over_valid_and_invalid_drops(self):
        # The Klein bottle on a 128 x 128 grid: 98 304 vertices in R^4, 3 MiB.
        subprocess.run([MAKE_SAMPLES, self.dir.name, "--resolution", "128"], check=True, timeout=60,
                       stdout=subprocess.DEVNULL)
        valid_path = self.path("klein-bottle.klein")
        size = os.path.getsize(valid_path)
        invalid = invalid_files(self.dir.name, valid_path)
        with open(self.path("drops"), "w") as f:
            for k in range(DROPS):
                f.write((valid_path if k % 2 == 0 else invalid[k // 2 % len(invalid)]) + "\n")
        expected = self.path("expected.png")
        subprocess.run([BINARY, "--output", expected, valid_path], check=True, timeout=60,
                       stdout=subprocess.DEVNULL)
        expected = read_png(expected)

        # llvmpipe takes memory of the viewer's as buffer storage; drivers
        # without GL_AMD_pinned_memory get the arrays through mapped buffers.
        storage = [("pinned memory", {}),
                   ("mapped buffers", {"MESA_EXTENSION_OVERRIDE": "-GL_AMD_pinned_memory"})]
        for what, driver in storage:
            with self.subTest(what):
                log = self.path(f"{what}.log")
                # MESA_DEBUG has Mesa report any GL error on standard error.
                env = {**driver, "LD_PRELOAD": PRELOAD, "SOAK_DROPS": self.path("drops"), "SOAK_LOG": log,
                       "MESA_DEBUG": "1"}
                with xh.Viewer(BINARY, env=env) as viewer:
                    xh.wait_until(lambda: os.path.exists(log) and len(read_log(log)) == DROPS + 1,
                                  timeout=DROPS / 2, what=f"{DROPS} drops")
                    # The last drop was refused: the valid surface stays, as first drawn.
                    xh.wait_frames(viewer.wid, 2)
                    shown = xh.screenshot(viewer.wid)
                    differ = sum(shown[x, y] != expected[x, y]
                                 for y in range(shown.height) for x in range(shown.width))
                    self.assertEqual(differ, 0, f"pixels that differ from {valid_path} drawn alone")
                    self.assertEqual(viewer.close(), 0)
                self.assertEqual(viewer.stdout, STARTED + STOPPED)
                self.assertEqual(viewer.stderr, "")

                rows = read_log(log)
                self.assertEqual([r["drop"] for r in rows], list(range(DROPS + 1)))
                table, growth = figures(rows, size)
                print(f"\n{what}:\n{table}", flush=True)
                self.assertLess(growth, size, "resident memory grew by a file or more once settled")


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__.splitlines()[-1].strip())
    if len(sys.argv) > 4:
        DROPS = int(sys.argv.pop(4))
        if DROPS < 2 * SETTLED:
            sys.exit(f"soak_test.py: at least {2 * SETTLED} drops")
    MAKE_SAMPLES = sys.argv.pop(3)
    PRELOAD = sys.argv.pop(2)
    BINARY = sys.argv.pop(1)
    unittest.main(verbosity=2)
