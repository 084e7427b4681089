# SPDX-License-Identifier: GPL-3.0-or-later
"""Setup files that a MIDI library nobody here wrote (mido) writes and reads: the command line
opens mido's .syx (binary and hex text) and .mid files, and mido reads the .mid file that
the command line saves.

    python3 mido_test.py PROGRAM
"""

import os
import subprocess
import sys
import tempfile
import unittest

import mido

PROGRAM = sys.argv.pop(1) if len(sys.argv) > 1 else "rdn417-config"

# The converter's messages for channel 3, table pitch, aux from controller 74, NoteRef 54.
SETUP = [[0x70, 0x02, 0x7C, 0x00, 0x06], [0x70, 0x02, 0x7D, 0x0A, 0x04],
         [0x70, 0x02, 0x7E, 0x06, 0x03]]
ROLAND = [0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41]


def hex_line(data):
    return " ".join("%02X" % byte for byte in [0xF0] + data + [0xF7])


class Mido(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.environment = dict(os.environ, RDN417_MIDI_BACKEND="virtual",
                                XDG_CONFIG_HOME=self.folder.name)

    def tearDown(self):
        self.folder.cleanup()

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def run_program(self, *arguments):
        return subprocess.run([PROGRAM, *arguments], env=self.environment, capture_output=True,
                              text=True, timeout=60)

    def sent(self, path):
        """The messages that --send FILE --dry-run would send, and what it said."""
        done = self.run_program("--send", path, "--dry-run")
        self.assertEqual(done.returncode, 0, done.stderr)
        return [line for line in done.stdout.splitlines() if line.startswith("F0")], done.stderr

    def test_syx_files_written_by_mido_open(self):
        messages = [mido.Message("sysex", data=ROLAND)] + [
            mido.Message("sysex", data=data) for data in SETUP]
        for plaintext in (False, True):
            with self.subTest(plaintext=plaintext):
                path = self.path("mido-%s.syx" % plaintext)
                mido.write_syx_file(path, messages, plaintext=plaintext)
                lines, said = self.sent(path)
                self.assertEqual(lines, [hex_line(data) for data in SETUP])
                self.assertIn("1 message for other devices skipped", said)

    def test_mid_files_written_by_mido_open(self):
        song = mido.MidiFile(type=1)
        tempo = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=400000),
                                mido.Message("note_on", note=60, velocity=90, time=10),
                                mido.Message("note_off", note=60, time=480)])
        setup = mido.MidiTrack([mido.Message("sysex", data=ROLAND, time=0)] + [
            mido.Message("sysex", data=data, time=5) for data in SETUP])
        song.tracks.extend([tempo, setup])
        path = self.path("song.mid")
        song.save(path)
        lines, said = self.sent(path)
        self.assertEqual(lines, [hex_line(data) for data in SETUP])
        self.assertIn("1 message for other devices skipped", said)
        # Notes alone: a MIDI file, said as such.
        notes = mido.MidiFile(type=0)
        notes.tracks.append(mido.MidiTrack([mido.Message("note_on", note=60)]))
        notes.save(self.path("notes.mid"))
        done = self.run_program("--send", self.path("notes.mid"), "--dry-run")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("This is a Standard MIDI File without the converter's messages", done.stderr)

    def test_a_saved_mid_file_reads_in_mido_as_the_setup_at_the_cables_pace(self):
        path = self.path("saved.mid")
        done = self.run_program("--set", "channel=3", "--set", "pitch=table", "--set", "aux=74",
                                "--set", "noteref=F#2", "--save", path)
        self.assertEqual(done.returncode, 0, done.stderr)
        song = mido.MidiFile(path)
        self.assertEqual(song.type, 0)
        self.assertEqual(len(song.tracks), 1)
        sysex = [message for message in song if message.type == "sysex"]
        self.assertEqual([list(message.data) for message in sysex], SETUP)
        # Iterating a file gives each message's time in seconds since the one before.
        for message in sysex[1:]:
            self.assertGreaterEqual(message.time, 7 * 10 / 31250)
        # And it opens again.
        lines, _ = self.sent(path)
        self.assertEqual(lines, [hex_line(data) for data in SETUP])


if __name__ == "__main__":
    unittest.main(verbosity=2)
