"""The viewer starts, shows a blank white window, closes cleanly and fails
cleanly without a display.  Usage: startup_test.py PATH/TO/plexorama"""
import sys
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

    def test_fails_without_a_display(self):
        no_display = {"DISPLAY": None, "WAYLAND_DISPLAY": None}
        with xh.Process([BINARY], env=no_display) as viewer:
            self.assertEqual(viewer.wait_exit(), 1)
            self.assertEqual(viewer.stdout, "[VENTANA] Inicializando...\n"
                                            "[VENTANA] Error al inicializar...\n")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__.splitlines()[-1].strip())
    BINARY = sys.argv.pop(1)
    unittest.main(verbosity=2)
