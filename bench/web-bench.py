"""Figures of the web page: what a browser downloads, the time from opening
the page to the first frame of a sample in headless Chromium, and loading
the 2 M-triangle surface in the page against the desktop viewer.
Run: tests/with-xvfb /usr/bin/python3 bench/web-bench.py BUILD_DIR [--quick]"""
import gzip
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from chromium import Chromium, Server  # noqa: E402

LOAD = """(async () => {
  const t0 = performance.now();
  const bytes = new Uint8Array(await (await fetch('%s')).arrayBuffer());
  const t1 = performance.now();
  Module.FS.writeFile('/surface/big.klein', bytes, {canOwn: true});
  const reason = Module.ccall('show_file_web', 'string', ['string'], ['/surface/big.klein']);
  Module.FS.unlink('/surface/big.klein');
  const t2 = performance.now();
  // Reading a pixel back waits until the GPU has drawn what came before.
  await new Promise(done => requestAnimationFrame(() => requestAnimationFrame(done)));
  Module.ctx.readPixels(0, 0, 1, 1, Module.ctx.RGBA, Module.ctx.UNSIGNED_BYTE, new Uint8Array(4));
  return [t1 - t0, t2 - t1, performance.now() - t2, reason];
})()"""


def gzipped(path):
    with open(path, "rb") as f:
        return len(gzip.compress(f.read(), 9))


def desktop_seconds(viewer, *args):
    start = time.monotonic()
    subprocess.run([viewer, "--frames", "1", *args], check=True, capture_output=True)
    return time.monotonic() - start


def main():
    build = sys.argv[1]
    reps = 1 if "--quick" in sys.argv else 3
    site = os.path.join(build, "web", "site")
    print("what a browser downloads, gzip -9 (bytes):")
    total = 0
    for name in ("index.html", "index.js", "index.wasm", "controls.js", "plexorama.js", "plexorama.css"):
        size = gzipped(os.path.join(site, name))
        total += size
        print(f"  {name:16} {os.path.getsize(os.path.join(site, name)):9} {size:9}")
    print(f"  {'together':16} {'':9} {total:9}   target 250 KB")
    page = os.path.join(build, "web", "plexorama-page.html")
    print(f"  one-file viewer  {os.path.getsize(page):9} {gzipped(page):9}")

    server = Server(site)
    with Chromium() as browser:
        times = []
        for _ in range(reps + 1):
            browser.open(server.url + "?file=samples/klein-bottle.klein")
            times.append(browser.evaluate(
                "new Promise(done => requestAnimationFrame(() => { Module.ctx.readPixels(0, 0, 1, 1,"
                " Module.ctx.RGBA, Module.ctx.UNSIGNED_BYTE, new Uint8Array(4)); done(performance.now()); }))"))
        print(f"opening the page to the first frame of klein-bottle: first {times[0]:.0f} ms, "
              f"then median {statistics.median(times[1:]):.0f} ms")

        folder = tempfile.mkdtemp(prefix="plexorama-web-bench-", dir=site)
        try:
            subprocess.run([os.path.join(build, "tools", "make-samples"), folder, "--resolution", "1000"],
                           check=True, capture_output=True)
            big = os.path.join(folder, "klein-bottle.klein")
            url = os.path.relpath(big, site)
            rows = []
            for _ in range(reps):
                browser.open(server.url)
                rows.append(browser.evaluate(LOAD % url))
            fetch, show, frame = (statistics.median(r[k] for r in rows) for k in range(3))
            print(f"2 M triangles ({os.path.getsize(big) >> 20} MiB) in the page: fetch {fetch:.0f} ms, "
                  f"read and upload {show:.0f} ms, first frame {frame:.0f} ms ({rows[0][3] or 'shown'})")
            viewer = os.path.join(build, "plexorama")
            empty = statistics.median(desktop_seconds(viewer) for _ in range(reps))
            full = statistics.median(desktop_seconds(viewer, big) for _ in range(reps))
            print(f"the same on the desktop: start, load and first frame {1000 * full:.0f} ms, "
                  f"of which start-up without a file {1000 * empty:.0f} ms")
        finally:
            shutil.rmtree(folder)
    server.close()


if __name__ == "__main__":
    main()
