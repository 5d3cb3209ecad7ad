"""Installs the build into a temporary DESTDIR and checks the tree the way a
Debian desktop uses it: launcher entry, file type, icons, manual pages,
software-centre record and thumbnailer.
Usage: install_test.py CMAKE BUILD_DIR"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

import tree

CMAKE = BUILD = BASE = ROOT = PREFIX = None
MIME_NS = "{http://www.freedesktop.org/standards/shared-mime-info}"


def run(argv, env=None, timeout=60, cwd=None):
    return subprocess.run([str(a) for a in argv], capture_output=True, text=True, cwd=cwd,
                          timeout=timeout, env={**os.environ, **(env or {})})


def setUpModule():
    global BASE, ROOT, PREFIX
    BASE = tempfile.mkdtemp(prefix="plexorama-install-")
    ROOT = os.path.join(BASE, "root")
    PREFIX = os.path.join(ROOT, "usr")
    done = run([CMAKE, "--install", BUILD, "--prefix", "/usr"], env={"DESTDIR": ROOT})
    if done.returncode != 0:
        raise RuntimeError(f"cmake --install failed:\n{done.stdout}{done.stderr}")


def tearDownModule():
    shutil.rmtree(BASE, ignore_errors=True)


def installed(relative):
    return os.path.join(PREFIX, relative)


class Tree(unittest.TestCase):

    def test_holds_exactly_the_files_it_should(self):
        found = set()
        for top, _, names in os.walk(ROOT):
            found.update(os.path.relpath(os.path.join(top, n), PREFIX) for n in names)
        self.assertEqual(sorted(found - set(tree.FILES)), [], "installed but not expected")
        self.assertEqual(sorted(set(tree.FILES) - found), [], "expected but not installed")
        for path in tree.FILES:
            executable = os.access(installed(path), os.X_OK)
            self.assertEqual(executable, path in tree.EXECUTABLES, path)

    def test_programs_run_from_the_tree(self):
        out = tempfile.mkdtemp(dir=BASE)
        off = os.path.join(out, "triangle.off")
        with open(off, "w") as f:
            f.write("4OFF\n3 1 0\n0 0 0 0\n1 0 0 0\n0 1 0 1\n3 0 1 2\n")
        converted = os.path.join(BASE, "triangle.klein")
        page = os.path.join(BASE, "triangle.html")
        plotted = os.path.join(BASE, "plotted.klein")
        # Each row: command line, exit code, pattern the standard output matches.
        rows = [
            (["bin/plexorama", "--help"], 0, r"usage: plexorama .*\n"),
            (["bin/plexorama", "--version"], 0, r"plexorama \d+\.\d+\.\d+\n$"),
            (["bin/plexorama-make-samples", out, "--resolution", "4"], 0, r"^$"),
            (["bin/plexorama-make-samples"], 2, r"^$"),
            (["bin/plexorama-make-samples", "--help"], 0, r"^usage: plexorama-make-samples DIR"),
            (["bin/plexorama-convert", off, converted], 0, r"3 vertices, 1 triangles, m = 4"),
            (["bin/plexorama-convert", off, page], 0, r"triangle.html: 3 vertices"),
            (["bin/plexorama-convert", "--help"], 0, r"^usage: plexorama-convert "),
            (["bin/plexorama-plot", "u, v, u*v, u*u", "--fit", "-o", plotted], 0, r"m = 4, fits the view"),
            (["bin/plexorama-plot", "--help"], 0, r"^usage: plexorama-plot "),
        ]
        # With no source tree in reach, the programs must find the package
        # installed beside them, not one elsewhere on the machine, nor one in
        # the folder they are run from.
        env = {"PYTHONNOUSERSITE": "1"}
        impostor = os.path.join(BASE, "impostor")
        os.makedirs(os.path.join(impostor, "plexorama"))
        for name in ("__init__", "samples", "convert", "plot"):
            with open(os.path.join(impostor, "plexorama", f"{name}.py"), "w") as f:
                f.write("raise SystemExit('the package in the working folder ran')\n")
        for argv, code, pattern in rows:
            with self.subTest(argv=argv):
                done = run([installed(argv[0]), *argv[1:]], env=env, cwd=impostor)
                self.assertEqual(done.returncode, code, done.stderr)
                self.assertRegex(done.stdout, pattern)
        self.assertEqual(sorted(os.listdir(out)),
                         sorted(["triangle.off", *(f"{n}.klein" for n in tree.SAMPLES), *tree.MORE_SAMPLES]))
        self.assertEqual(os.path.getsize(converted), 111)
        # The page is the installed one-file viewer around the same file.
        with open(page, encoding="utf-8") as f, open(installed("share/plexorama/plexorama-page.html")) as g:
            self.assertEqual(len(f.read()) - len(g.read()), len(' data-name="triangle.klein"') + 148)
        # Run by another name (a link), a program calls itself by that name.
        link = os.path.join(BASE, "samples-by-another-name")
        os.symlink(installed("bin/plexorama-make-samples"), link)
        done = run([link, "--help"], env=env, cwd=impostor)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertRegex(done.stdout, r"^usage: samples-by-another-name DIR")

    def test_package_lies_where_every_debian_python_3_looks_under_usr(self):
        folder = os.path.dirname(tree.PYTHON_DIR)
        pythons = [p for p in sorted(glob.glob("/usr/bin/python3.*")) if re.fullmatch(r".*/python3\.\d+", p)]
        self.assertTrue(pythons)
        for python in pythons:
            with self.subTest(python=python):
                done = run([python, "-c", "import sys; print(*sys.path, sep='\\n')"])
                self.assertIn(f"/usr/{folder}", done.stdout.splitlines())

    def test_no_installed_file_names_the_build_machine_s_folders(self):
        # The viewer's debug information does, until the package strips it.
        source = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
        for path in tree.FILES:
            with open(installed(path), "rb") as f:
                data = f.read()
            if data.startswith(b"\x7fELF"):
                continue
            for folder in (source, os.path.realpath(BUILD)):
                self.assertFalse(folder.encode() in data, f"{path} names {folder}")

    def test_samples_are_whole_klein_files(self):
        for name in tree.SAMPLES:
            with self.subTest(sample=name):
                path = installed(f"share/plexorama/samples/{name}.klein")
                with open(path, "rb") as f:
                    head = f.read(15)
                m, n = head[6], int.from_bytes(head[7:15], "little")
                self.assertEqual(head[:5], b"KLEIN")
                self.assertGreaterEqual(m, 4)
                self.assertEqual(n % 3, 0)
                self.assertEqual(os.path.getsize(path), 15 + 8 * m * n)

    def test_icons_have_their_sizes(self):
        for n in tree.ICON_SIZES:
            with self.subTest(size=n):
                self.assertEqual(tree.png_size(installed(f"share/icons/hicolor/{n}x{n}/apps/plexorama.png")),
                                 (n, n))
        root = ET.parse(installed("share/icons/hicolor/scalable/apps/plexorama.svg")).getroot()
        self.assertEqual(root.tag, "{http://www.w3.org/2000/svg}svg")


class Desktop(unittest.TestCase):

    def desktop(self):
        return installed(f"share/applications/{tree.APP_ID}.desktop")

    def test_entry_validates_with_no_hints(self):
        done = run(["desktop-file-validate", self.desktop()])
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, "", ""))

    def test_entry_launches_and_groups_the_viewer(self):
        entry = tree.read_entry(self.desktop(), "Desktop Entry")
        rows = [
            ("Type", "Application"),
            ("Exec", "plexorama %f"),
            ("TryExec", "plexorama"),
            ("Icon", "plexorama"),
            ("StartupWMClass", "plexorama"),  # the window's WM_CLASS
            ("MimeType", f"{tree.MIME_TYPE};"),
            ("Categories", "Education;Math;"),
        ]
        for key, value in rows:
            self.assertEqual(entry.get(key), value, key)
        for key in ("Name", "GenericName", "Comment", "Keywords"):
            self.assertTrue(entry.get(key), key)

    def test_every_file_names_the_same_type_and_ids(self):
        mime = ET.parse(installed("share/mime/packages/plexorama.xml")).getroot()
        meta = ET.parse(installed(f"share/metainfo/{tree.APP_ID}.metainfo.xml")).getroot()
        thumbnailer = tree.read_entry(installed("share/thumbnailers/plexorama.thumbnailer"),
                                      "Thumbnailer Entry")
        rows = [
            ("MIME package", [t.get("type") for t in mime.iter(MIME_NS + "mime-type")], [tree.MIME_TYPE]),
            ("thumbnailer", thumbnailer["MimeType"], f"{tree.MIME_TYPE};"),
            ("metainfo type", [t.text for t in meta.iter("mediatype")], [tree.MIME_TYPE]),
            ("metainfo id", meta.findtext("id"), tree.APP_ID),
            ("metainfo launchable", meta.findtext("launchable"), f"{tree.APP_ID}.desktop"),
            ("metainfo binary", meta.findtext("provides/binary"), "plexorama"),
        ]
        for what, found, expected in rows:
            self.assertEqual(found, expected, what)

    def test_metainfo_validates(self):
        for argv in (["validate", installed(f"share/metainfo/{tree.APP_ID}.metainfo.xml")],
                     ["validate-tree", PREFIX]):  # also checks the entry and icon it points at
            with self.subTest(argv=argv[0]):
                done = run(["appstreamcli", argv[0], "--no-net", *argv[1:]])
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def test_screenshots_are_the_readme_pictures_once_published(self):
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        data = os.path.join(source, "data")
        out = os.path.join(BASE, "screenshots.metainfo.xml")
        published = [f"https://example.org/p/docs/{n}.png" for n in tree.SAMPLES]
        rows = [("no address", [], []), ("address", ["-DURL=https://example.org/p/docs/"], published)]
        for what, define, images in rows:
            with self.subTest(what):
                done = run([CMAKE, f"-DIN={data}/{tree.APP_ID}.metainfo.xml.in", f"-DOUT={out}", *define,
                            "-P", os.path.join(data, "metainfo.cmake")])
                self.assertEqual(done.returncode, 0, done.stderr)
                done = run(["appstreamcli", "validate", "--no-net", "--pedantic", out])
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                shots = ET.parse(out).getroot().findall("screenshots/screenshot")
                self.assertEqual([s.findtext("image") for s in shots], images)
                self.assertEqual([s.get("type") for s in shots], ["default", *[None] * (len(images) - 1)][:len(images)])
        for name in tree.SAMPLES:
            self.assertIsNotNone(tree.png_size(os.path.join(source, "docs", f"{name}.png")), name)


class FileType(unittest.TestCase):

    def test_package_is_well_formed_shared_mime_info(self):
        path = installed("share/mime/packages/plexorama.xml")
        done = run(["xmllint", "--noout", path])
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, "", ""))
        kind = ET.parse(path).getroot().find(MIME_NS + "mime-type")
        match = kind.find(f"{MIME_NS}magic/{MIME_NS}match")
        self.assertEqual((match.get("type"), match.get("value"), match.get("offset")),
                         ("string", "KLEIN", "0"))
        self.assertGreaterEqual(int(kind.find(MIME_NS + "magic").get("priority")), 80)

    def test_files_are_recognised_by_magic_and_by_name(self):
        data = tempfile.mkdtemp(dir=BASE)
        os.makedirs(os.path.join(data, "mime", "packages"))
        shutil.copy(installed("share/mime/packages/plexorama.xml"), os.path.join(data, "mime", "packages"))
        env = {"XDG_DATA_HOME": data, "XDG_DATA_DIRS": "/usr/share", "XDG_CURRENT_DESKTOP": "",
               "DESKTOP_SESSION": "", "KDE_FULL_SESSION": "", "GNOME_DESKTOP_SESSION_ID": ""}
        done = run(["update-mime-database", os.path.join(data, "mime")], env=env)
        self.assertEqual((done.returncode, done.stderr), (0, ""))

        sample = installed("share/plexorama/samples/klein-bottle.klein")
        with open(sample, "rb") as f:
            klein = f.read()
        files = os.path.join(data, "files")
        os.makedirs(files)
        # Each row: file name, contents, the type xdg-mime must report.
        rows = [
            ("surface", klein, tree.MIME_TYPE),
            ("surface.klein", klein, tree.MIME_TYPE),
            ("looks-like-text", b"KLEIN and nothing but printable text\n", tree.MIME_TYPE),
            ("named.klein", b"\0\1\2\3 not a surface", tree.MIME_TYPE),
            ("notes", b"klein bottle notes\n", "text/plain"),
            ("notes.txt", b"The Klein bottle has no inside.\n", "text/plain"),
            ("almost", b"KLEI\0\x04\x03" + bytes(8), "application/octet-stream"),
        ]
        for name, contents, expected in rows:
            with self.subTest(file=name):
                path = os.path.join(files, name)
                with open(path, "wb") as f:
                    f.write(contents)
                done = run(["xdg-mime", "query", "filetype", path], env=env)
                self.assertEqual(done.stdout.strip(), expected, done.stderr)


class Manual(unittest.TestCase):

    def render(self, page):
        done = run(["man", "-l", "--warnings", installed(page)], env={"MANWIDTH": "80", "LC_ALL": "C.UTF-8"})
        self.assertEqual((done.returncode, done.stderr), (0, ""), page)
        return done.stdout

    def test_pages_render_without_warnings(self):
        rows = [
            ("share/man/man1/plexorama.1.gz", ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "KEYS",
                                            "VIEW FILES", "EXIT STATUS", "FILES", "EXAMPLES"]),
            ("share/man/man1/plexorama-convert.1.gz", ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS",
                                                    "EXIT STATUS", "EXAMPLES"]),
            ("share/man/man1/plexorama-make-samples.1.gz", ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS",
                                                         "EXIT STATUS", "FILES"]),
            ("share/man/man1/plexorama-plot.1.gz", ["NAME", "SYNOPSIS", "DESCRIPTION", "FORMULAS", "OPTIONS",
                                                 "EXIT STATUS", "EXAMPLES"]),
            ("share/man/man5/klein.5.gz", ["NAME", "DESCRIPTION", "EXAMPLES"]),
        ]
        for page, sections in rows:
            with self.subTest(page=page):
                text = self.render(page)
                for section in sections:
                    self.assertRegex(text, rf"\n{section}\n", section)

    def test_viewer_page_lists_every_option_and_exit_code(self):
        text = self.render("share/man/man1/plexorama.1.gz")
        options = ["--frames n", "--output file.png", "--size n", "--show a,b,c,d", "--swap x|y|z",
                   "--save-view file", "--view file", "--record out", "--info file", "--zoom f", "--quiet",
                   "-h, --help", "-V, --version"]
        for option in options:
            self.assertRegex(text, rf"\n {{7}}{re.escape(option)}\n", option)
        exit_status = text.split("\nEXIT STATUS\n")[1].split("\nFILES\n")[0]
        self.assertEqual(re.findall(r"^ {7}(\d)  ", exit_status, re.MULTILINE), ["0", "1", "2"])

    def test_format_page_has_the_byte_table(self):
        text = self.render("share/man/man5/klein.5.gz")
        rows = re.findall(r"│(\S+) *│ (\S+) *│", text)
        self.assertEqual(rows, [("offset", "bytes"), ("0", "5"), ("5", "1"), ("6", "1"), ("7", "8"),
                                ("15", "4mn"), ("15+4mn", "4mn")])


class Thumbnailer(unittest.TestCase):

    def test_exec_line_writes_a_picture_of_the_asked_size(self):
        entry = tree.read_entry(installed("share/thumbnailers/plexorama.thumbnailer"), "Thumbnailer Entry")
        self.assertEqual(entry["TryExec"], "plexorama")
        argv = entry["Exec"].split()
        self.assertEqual(argv[0], "plexorama")
        if "--output" not in run([installed("bin/plexorama"), "--help"]).stdout:
            self.skipTest("this plexorama has no --output yet, so the thumbnailer cannot run")
        out = tempfile.mkdtemp(dir=BASE)
        sample = installed("share/plexorama/samples/klein-bottle.klein")
        for size in (64, 256):
            with self.subTest(size=size):
                png = os.path.join(out, f"thumb-{size}.png")
                filled = [{"%i": sample, "%o": png, "%s": str(size)}.get(a, a) for a in argv[1:]]
                done = run([installed("bin/plexorama"), *filled])
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(tree.png_size(png), (size, size))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__.splitlines()[-1].strip())
    CMAKE, BUILD = sys.argv.pop(1), sys.argv.pop(1)
    unittest.main(verbosity=2)
