"""Outputs that are no plain file, and offscreen runs ended by a signal.
Usage: output_test.py PATH/TO/plexorama PATH/TO/SAMPLES"""
import os
import signal
import stat
import threading

import xharness as xh

BINARY = None
SAMPLES = None


class Outputs(xh.FolderTest):

    def setUp(self):
        super().setUp()
        self.bottle = os.path.join(SAMPLES, "klein-bottle.klein")

    def test_links_pipes_devices_and_folders(self):
        p = self.path
        for folder in ("real", "folder.png", "shared"):
            os.mkdir(p(folder))
        for name in ("real/old.png", "real/kept.png"):
            open(p(name), "w").close()
        for link, target in [("link.png", "real/old.png"), ("dangling.png", "made.png"),
                             ("nowhere.png", "none/a.png"), ("loop.png", "loop.png")]:
            os.symlink(target, p(link))
        fifos = ["fifo.png", "fifo.gif", "fifo.mp4"]
        for name in fifos:
            os.mkfifo(p(name))
        # Root could replace the system's devices; a fault must only cost copies.
        full, null = "/dev/full", "/dev/null"
        if os.geteuid() == 0:
            full, null = p("full"), p("null")
            os.mknod(full, 0o666 | stat.S_IFCHR, os.makedev(1, 7))
            os.mknod(null, 0o666 | stat.S_IFCHR, os.makedev(1, 3))

        def starts(name, head):
            with open(p(name), "rb") as f:
                return f.read(len(head)) == head
        png = b"\x89PNG\r\n\x1a\n"
        read = {}
        cases = [
            # what, arguments, stderr after "plexorama: " (none for success), what holds afterwards
            ("a link", ["--output", p("link.png")], None, lambda: starts("real/old.png", png)),
            ("a dangling link", ["--output", p("dangling.png")], None, lambda: starts("made.png", png)),
            ("a link into no folder", ["--output", p("nowhere.png")], "No such file or directory", None),
            ("a link to itself", ["--output", p("loop.png")], "Too many levels of symbolic links", None),
            ("a folder", ["--output", p("folder.png")], "Is a directory", lambda: os.path.isdir(p("folder.png"))),
            ("a FIFO", ["--output", p("fifo.png")], None, lambda: read["fifo.png"].startswith(png)),
            ("a clip to a FIFO", ["--frames", "3", "--record", p("fifo.gif")], None,
             lambda: read["fifo.gif"].startswith(b"GIF89a")),
            ("an MP4 clip to a FIFO", ["--frames", "3", "--record", p("fifo.mp4")],
             "an MP4 clip cannot go to a pipe (WebM and GIF can)", None),
            ("a full device", ["--output", p("o.png"), "--save-view", full], "No space left on device",
             lambda: not os.path.exists(p("o.png"))),
            ("an empty device", ["--output", p("o.png"), "--save-view", null], None, lambda: starts("o.png", png)),
        ]
        if os.geteuid() == 0:
            # Another user's link in a folder anyone may write to, as in /tmp.
            os.chmod(p("shared"), 0o1777)
            os.symlink("../real/kept.png", p("shared/planted.png"))
            os.lchown(p("shared/planted.png"), 65534, 65534)
            cases.append(("a planted link", ["--output", p("shared/planted.png")], "Permission denied",
                          lambda: os.path.getsize(p("real/kept.png")) == 0))
        for what, args, why, holds in cases:
            with self.subTest(what):
                fifo = [os.path.basename(a) for a in args if os.path.basename(a) in fifos]

                def reader():
                    with open(p(fifo[0]), "rb") as f:
                        read[fifo[0]] = f.read()
                thread = threading.Thread(target=reader, daemon=True)
                if fifo:
                    thread.start()
                with xh.Process([BINARY, "--size", "32", *args, self.bottle]) as run:
                    status = run.wait_exit(60)
                    self.assertEqual((status, run.stderr), (1, f"plexorama: {args[-1]}: cannot write: {why}\n")
                                     if why else (0, ""))
                if fifo:
                    thread.join(10)
                self.assertTrue(holds is None or holds())
                for name in ("link.png", "dangling.png", "loop.png"):
                    self.assertTrue(os.path.islink(p(name)), f"{name} was replaced")
                for name, kind in [(full, stat.S_ISCHR), (null, stat.S_ISCHR)] + [(p(f), stat.S_ISFIFO) for f in fifos]:
                    self.assertTrue(kind(os.stat(name).st_mode), f"{name} was replaced")
                self.assertEqual([n for n in os.listdir(self.dir.name) if n.startswith(".")], [])

    def test_a_signal_leaves_nothing(self):
        encoder = self.path("ffmpeg")
        with open(encoder, "w") as f:
            # Takes every frame, then takes its time to finish.
            f.write('#!/bin/sh\necho $$ > "$0.pid"\nfor last; do :; done\ncat > "${last#file:}"\nexec sleep 60\n')
        os.chmod(encoder, 0o755)
        slow = {"PATH": self.dir.name + os.pathsep + "/usr/bin:/bin"}
        endless = ["--frames", "1000000"]
        cases = [
            # command, signals sent in turn (all but the last unheard), arguments, environment,
            # the file whose coming says the run is well under way
            ([], [signal.SIGINT], [*endless, "--output", "{out}/o.png"], None, None),
            ([], [signal.SIGTERM], [*endless, "--record", "{out}/clip.mp4", "--output", "{out}/o.png"], None, None),
            ([], [signal.SIGHUP], [*endless, "--record", "{out}/f%03d.png"], None, "f010.png"),
            ([], [signal.SIGINT], ["--frames", "3", "--record", "{out}/clip.webm", "--output", "{out}/o.png",
                                   "--save-view", "{out}/v"], slow, "o.png"),
            (["nohup"], [signal.SIGHUP, signal.SIGTERM], [*endless, "--output", "{out}/o.png"], None, None),
        ]
        for number, (command, signals, args, env, sign) in enumerate(cases):
            with self.subTest(command=command, signals=signals, args=args):
                out = self.path(str(number))
                os.mkdir(out)
                argv = [*command, BINARY, "--size", "64", *[a.format(out=out) for a in args], self.bottle]
                with xh.Process(argv, env=env) as run:
                    run.wait_output("[MAIN LOOP] Inicializando...\n")
                    # The slow encoder must be running, so that it is seen to end with the run.
                    xh.wait_until(lambda: os.listdir(out) and (not sign or sign in os.listdir(out))
                                  and (env is None or os.path.exists(encoder + ".pid")))
                    for signal_number in signals[:-1]:
                        run.proc.send_signal(signal_number)
                        self.assertRaises(TimeoutError, run.wait_exit, 1)
                    run.proc.send_signal(signals[-1])
                    self.assertEqual(run.wait_exit(10), -signals[-1])
                self.assertEqual(os.listdir(out), [])
        with open(encoder + ".pid") as f:
            self.assertRaises(ProcessLookupError, os.kill, int(f.read()), 0)


if __name__ == "__main__":
    xh.run_tests("BINARY", "SAMPLES")
