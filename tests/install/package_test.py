"""Builds the Debian package from the build tree with CPack and checks its
control fields and its contents.  Usage: package_test.py CPACK BUILD_DIR"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import tree

CPACK = BUILD = OUT = DEB = None


def run(argv, timeout=600):
    done = subprocess.run([str(a) for a in argv], capture_output=True, text=True, timeout=timeout)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(argv)} failed:\n{done.stdout}{done.stderr}")
    return done.stdout


def setUpModule():
    global OUT, DEB
    OUT = tempfile.mkdtemp(prefix="plexorama-package-")
    run([CPACK, "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", OUT])
    debs = glob.glob(os.path.join(OUT, "*.deb"))
    if len(debs) != 1:
        raise RuntimeError(f"expected one package in {OUT}, found {debs}")
    DEB = debs[0]


def tearDownModule():
    shutil.rmtree(OUT, ignore_errors=True)


def field(name):
    return run(["dpkg-deb", "--field", DEB, name]).strip()


class Package(unittest.TestCase):

    def test_is_named_as_apt_expects(self):
        architecture = run(["dpkg", "--print-architecture"]).strip()
        self.assertEqual(os.path.basename(DEB), f"plexorama_{field('Version')}_{architecture}.deb")
        self.assertEqual(field("Architecture"), architecture)

    def test_control_fields(self):
        info = run(["dpkg-deb", "--info", DEB])
        depends = re.search(r"^ Depends: (.*)$", info, re.MULTILINE)
        self.assertIsNotNone(depends, info)
        names = [d.split()[0] for d in depends.group(1).split(", ")]
        # Each row: a library the viewer links, the package that ships it.
        for library, package in [("GLFW", "libglfw3"), ("epoxy", "libepoxy0"), ("C", "libc6")]:
            self.assertIn(package, names, f"{library} runtime missing from Depends")
        self.assertNotIn("libglfw3-dev", names)
        # The Python programs' needs and the labels' font, which no binary shows.
        for package in ("python3", "python3-numpy", "fonts-dejavu-core"):
            self.assertIn(package, names, f"{package} missing from Depends")
        rows = [("Package", "plexorama"), ("Recommends", "ffmpeg"), ("Suggests", "xvfb"), ("Section", "science")]
        for name, value in rows:
            self.assertEqual(field(name), value, name)
        self.assertRegex(field("Maintainer"), r"^[^<>]+ <[^<>@]+@[^<>@]+>$")
        self.assertRegex(field("Version"), r"^\d+\.\d+\.\d+$")

    def test_contents_are_the_installed_tree_under_usr(self):
        listing = run(["dpkg-deb", "--contents", DEB])
        files = {}
        for line in listing.splitlines():
            mode, _, _, _, _, path = line.split(maxsplit=5)
            if not mode.startswith("d"):
                files[path] = mode
        self.assertEqual(sorted(files), sorted(f"./usr/{p}" for p in tree.FILES))
        for path in tree.FILES:
            self.assertEqual(files[f"./usr/{path}"], "-rwxr-xr-x" if path in tree.EXECUTABLES else "-rw-r--r--",
                             path)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__.splitlines()[-1].strip())
    CPACK, BUILD = sys.argv.pop(1), sys.argv.pop(1)
    unittest.main(verbosity=2)
