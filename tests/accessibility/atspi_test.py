# SPDX-License-Identifier: GPL-3.0-or-later
"""The window as a screen reader reads it over AT-SPI (as Orca does): every combo box named by
its label, NoteRef's text a note name, the pages and the tab bar named, and a value set through
AT-SPI sent to the simulated converter as a key's step is.

Run on a display of its own inside a private D-Bus session:
    with-display.sh dbus-run-session -- python3 atspi_test.py PROGRAM
"""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import pyatspi

PROGRAM = sys.argv.pop(1) if len(sys.argv) > 1 else "rdn417-config"


def wait_for(condition, seconds=20.0):
    """The first true value of condition() within the time, else None."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            value = condition()
        except Exception:  # an object that is still being made, or already gone
            value = None
        if value:
            return value
        time.sleep(0.05)
    return None


def descendants(node):
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield child
            yield from descendants(child)


class ScreenReader(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.config = tempfile.TemporaryDirectory()
        environment = dict(
            os.environ,
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
            QT_QPA_PLATFORM="xcb",
            RDN417_MIDI_BACKEND="virtual",
            XDG_CONFIG_HOME=cls.config.name,
        )
        cls.program = subprocess.Popen([PROGRAM], env=environment)

        def application():
            if cls.program.poll() is not None:
                raise SystemExit(f"the program ended at start with {cls.program.returncode}")
            for app in pyatspi.Registry.getDesktop(0):
                if app is not None and app.name == "RDN417 Config" and app.childCount > 0:
                    return app
            return None

        cls.app = wait_for(application, 60)
        if cls.app is None:
            cls.program.kill()
            raise RuntimeError("the window did not show up over AT-SPI")
        cls.nodes = wait_for(lambda: [n for n in descendants(cls.app)
                                      if n.getRoleName() == "combo box"] and
                             list(descendants(cls.app)))

    @classmethod
    def tearDownClass(cls):
        cls.program.send_signal(signal.SIGTERM)
        cls.program.wait(timeout=30)
        cls.config.cleanup()

    def named(self, role):
        return [node.name for node in self.nodes if node.getRoleName() == role]

    def slider(self, name):
        found = [n for n in self.nodes if n.getRoleName() == "slider" and n.name == name]
        self.assertEqual(len(found), 1, self.named("slider"))
        return found[0]

    def test_each_combo_is_named_by_its_label(self):
        self.assertCountEqual(self.named("combo box"), ["Controller", "In", "Out", "MIDI system"])

    def test_the_pages_and_the_tab_bar_are_named(self):
        self.assertEqual(self.named("page tab list"), ["Config"])
        for page in ("Config", "MIDI", "Table", "About..."):
            self.assertIn(page, self.named("filler"))

    def test_a_value_set_over_atspi_is_shown_as_a_note_and_reaches_the_converter(self):
        note = self.slider("Lowest MIDI Note")
        self.assertEqual(note.queryText().getText(0, -1), "C -1")
        note.queryValue().currentValue = 64.0
        self.assertTrue(wait_for(lambda: note.queryText().getText(0, -1) == "E 3"),
                        note.queryText().getText(0, -1))
        self.assertEqual(note.queryValue().currentValue, 64.0)

        # The out light's hint tells what the simulated converter holds.
        def held():
            for node in self.nodes:
                if "holds:" in (node.description or ""):
                    return node.description
            return None

        self.assertTrue(wait_for(lambda: "NoteRef E 3 (64)" in (held() or "")), held())


if __name__ == "__main__":
    unittest.main(verbosity=2)
