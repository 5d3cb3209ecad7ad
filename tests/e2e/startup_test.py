"""The viewer starts, shows a blank white window, closes cleanly and fails
cleanly without a display.  Usage: startup_test.py PATH/TO/plexorama"""
import subprocess
import unittest

import xharness as xh

BINARY = None

STARTED = ("[VENTANA] Inicializando...\n"
           "[CONTEXT] Inicializando...\n"
           "[SHADER] Inicializando...\n"
           "[SHADER] Inicializando...\n"
           "[MAIN LOOP] Inicializando...\n")
STOPPED = ("[MAIN LOOP] Terminando...\n"
           "[MESH] Destruyendo...\n"
           "[SHADER] Destruyendo...\n"
           "[SHADER] Destruyendo...\n"
           "[WINDOW] Destruyendo...\n")


class Startup(unittest.TestCase):

    def test_runs_until_the_window_manager_closes_it(self):
        with xh.Viewer(BINARY) as viewer:
            # Lines are flushed as they happen, so start-up shows while running.
            self.assertEqual(viewer.stdout, STARTED)
            self.assertEqual(viewer.close(), 0)
        self.assertEqual(viewer.stdout, STARTED + STOPPED)
        self.assertEqual(viewer.stderr, "")

    def test_window_has_its_title_and_size(self):
        with xh.Viewer(BINARY) as viewer:
            info = xh.window_info(viewer.wid)
            self.assertEqual(info.title, "plexorama: surface plotter")
            self.assertEqual((info.width, info.height), (512, 512))
            self.assertTrue(info.viewable)

    def test_window_is_white(self):
        with xh.Viewer(BINARY) as viewer:
            xh.wait_frames(viewer.wid, 5)
            image = xh.screenshot(viewer.wid)
            self.assertEqual((image.width, image.height), (512, 512))
            self.assertTrue(image.is_white(), f"{image.non_white()} pixels are not white, "
                            f"within {image.non_white_box()}")

    def test_window_class_names_the_program(self):
        with xh.Viewer(BINARY) as viewer:
            out = subprocess.run(["xprop", "-id", str(viewer.wid), "WM_CLASS"], check=True,
                                 timeout=10, capture_output=True, text=True).stdout
            self.assertEqual(out, 'WM_CLASS(STRING) = "plexorama", "plexorama"\n')

    def test_failed_window_says_why(self):
        # Each row: environment, then the start of the one line on stderr.
        rows = [
            ({"DISPLAY": None, "WAYLAND_DISPLAY": None},
             "plexorama: cannot open a window: X11: The DISPLAY environment variable is missing\n"),
            ({"DISPLAY": ":7391", "WAYLAND_DISPLAY": None},
             "plexorama: cannot open a window: X11: Failed to open display :7391\n"),
            # A driver that offers less than GL 3.3 refuses the context GLFW asks
            # for, and GLFW's reason comes from GLX.
            ({"MESA_GL_VERSION_OVERRIDE": "3.0"},
             "plexorama: cannot open a window: GLX: Failed to create context"),
        ]
        for env, reason in rows:
            with self.subTest(env=env), xh.Process([BINARY], env=env) as viewer:
                self.assertEqual(viewer.wait_exit(), 1)
                self.assertEqual(viewer.stdout, "[VENTANA] Inicializando...\n"
                                                "[VENTANA] Error al inicializar...\n")
                self.assertTrue(viewer.stderr.startswith(reason), viewer.stderr)
                self.assertEqual(viewer.stderr.count("\n"), 1, viewer.stderr)

if __name__ == "__main__":
    xh.run_tests("BINARY")
