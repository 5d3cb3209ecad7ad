"""What the install rules put where, relative to the prefix, and helpers that
read the installed data files."""
import configparser

APP_ID = "org.plexorama.viewer"
MIME_TYPE = "application/x-klein"
SAMPLES = ("klein-bottle", "clifford-torus", "complex-square", "veronese", "torus-10d")
# The samples beside the README's surfaces, by their whole names.
MORE_SAMPLES = ("linked-tori-a.klein", "linked-tori-b.klein", "5-cell.off", "tesseract.off", "16-cell.off",
                "24-cell.off", "120-cell.off", "600-cell.off", "hopf.skel", "torus-knot.skel", "cloud-10d.skel")
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)

EXECUTABLES = ("bin/plexorama", "bin/plexorama-make-samples", "bin/plexorama-convert", "bin/plexorama-plot")
PYTHON_MODULES = ("__init__", "command", "convert", "crossing", "curves", "formula", "html", "klein", "normals", "oogl",
                  "oogl_words", "options", "plot", "polytopes", "samples", "sampling", "shapes", "surface", "triangles",
                  "viewer")
PYTHON_DIR = "lib/python3/dist-packages/plexorama"
FILES = (
    *EXECUTABLES,
    "share/man/man1/plexorama.1.gz",
    "share/man/man1/plexorama-convert.1.gz",
    "share/man/man1/plexorama-make-samples.1.gz",
    "share/man/man1/plexorama-plot.1.gz",
    "share/man/man5/klein.5.gz",
    f"share/applications/{APP_ID}.desktop",
    f"share/metainfo/{APP_ID}.metainfo.xml",
    "share/mime/packages/plexorama.xml",
    "share/thumbnailers/plexorama.thumbnailer",
    "share/icons/hicolor/scalable/apps/plexorama.svg",
    *(f"share/icons/hicolor/{n}x{n}/apps/plexorama.png" for n in ICON_SIZES),
    *(f"share/plexorama/samples/{name}.klein" for name in SAMPLES),
    *(f"share/plexorama/samples/{name}" for name in MORE_SAMPLES),
    "share/plexorama/plexorama-page.html",
    *(f"{PYTHON_DIR}/{name}.py" for name in PYTHON_MODULES),
)


def read_entry(path, group):
    """The keys of one group of a desktop-entry style file, values as written."""
    parser = configparser.RawConfigParser(delimiters=("=",), interpolation=None)
    parser.optionxform = str  # keys are case-sensitive
    parser.read(path, encoding="utf-8")
    return dict(parser[group])


def png_size(path):
    """(width, height) of a PNG, or None when the file is not one."""
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
