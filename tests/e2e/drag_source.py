"""A window offering one file as a drag source (text/uri-list), for tests
that drop files onto the viewer.  Usage: drag_source.py FILE X Y

Reports on stdout: "accepted" when a drop target takes the drag,
"sent" when it fetches the URI, "failed" and "finished" as GTK ends the drag.
"""
import pathlib
import sys

import gi
gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

TITLE = "plexorama drag source"


def report(word):
    print(word, flush=True)


def on_begin(widget, context):
    # The selected action turns non-zero once the target's XdndStatus accepts.
    context.connect("action-changed", lambda ctx, action: action and report("accepted"))


def main():
    path, x, y = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    uri = pathlib.Path(path).resolve().as_uri()

    window = Gtk.Window(title=TITLE)
    window.set_default_size(160, 120)
    window.move(x, y)
    window.connect("destroy", Gtk.main_quit)

    area = Gtk.EventBox()
    area.add(Gtk.Label(label="drag me"))
    area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY)
    area.drag_source_add_uri_targets()
    area.connect("drag-begin", on_begin)
    area.connect("drag-data-get", lambda w, ctx, data, info, time: data.set_uris([uri]) and report("sent"))
    area.connect("drag-failed", lambda w, ctx, result: report(f"failed {result.value_nick}") or False)
    area.connect("drag-end", lambda w, ctx: report("finished"))

    window.add(area)
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
