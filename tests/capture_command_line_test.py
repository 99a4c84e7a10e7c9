"""Runs vantro-capture with bad command lines and checks the exact stderr
bytes, the exit status and that nothing reaches stdout."""
import os
import subprocess
import sys
import unittest

BINARY = None

RANGE = b'{"code":"usage","event":"error","message":"--sample-rate must be 8000\xe2\x80\xa648000"}\n'


def usage_line(message: bytes) -> bytes:
    return b'{"code":"usage","event":"error","message":"' + message + b'"}\n'


def run(args, **kwargs):
    return subprocess.run([BINARY, *args], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=20, **kwargs)


class UsageErrors(unittest.TestCase):
    CASES = [
        (["--sample-rate", "nan"], RANGE),
        (["--sample-rate", "inf"], RANGE),
        (["--sample-rate", "1e999"], RANGE),
        (["--sample-rate", " 16000"], RANGE),
        (["--sample-rate", "16000 "], RANGE),
        (["--sample-rate", ""], RANGE),
        (["--sample-rate", "letters"], RANGE),
        (["--sample-rate", "7999.9"], RANGE),
        (["--sample-rate", "8000", "--sample-rate", "5"], RANGE),
        (["--sample-rate"], usage_line(b"missing value for --sample-rate")),
        (["--no-mic", "--replay-mic"], usage_line(b"missing value for --replay-mic")),
        (["--sample-rate=16000"], usage_line(b"unknown argument --sample-rate=16000")),
        ([""], usage_line(b"unknown argument ")),
        (["--fast"], usage_line(b"--fast needs --replay-mic or --replay-system")),
        (["--fast", "--verbose"], usage_line(b"unknown argument --verbose")),
        (["--fast", "--no-mic", "--no-system"], usage_line(b"--fast needs --replay-mic or --replay-system")),
        (["/tmp/a\\b\"c"], usage_line(b'unknown argument \\/tmp\\/a\\\\b\\"c')),
        (["tab\there\n"], usage_line(b"unknown argument tab\\there\\n")),
        ([os.fsdecode(b"\xff\xc3")], usage_line(b"unknown argument \xef\xbf\xbd\xef\xbf\xbd")),
    ]

    def test_each_bad_command_line_is_one_usage_line_and_status_2(self):
        for args, expected in self.CASES:
            with self.subTest(args=args):
                result = run(args)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stderr, expected)
                self.assertEqual(result.stdout, b"")

    def test_process_locale_does_not_change_number_parsing(self):
        env = dict(os.environ, LC_ALL="de_DE.UTF-8", LANG="de_DE.UTF-8")
        self.assertEqual(run(["--sample-rate", "16000,5"], env=env).stderr, RANGE)


NO_SOURCE = b'{"code":"no_source","event":"error","message":"Neither the microphone nor system audio could be started."}\n'


class ValidCommandLines(unittest.TestCase):
    def test_valid_lines_reach_the_session(self):
        # "--fast" after "--replay-mic" is the file's name, not the option.
        result = run(["--replay-mic", "--fast", "--no-system"])
        self.assertEqual(result.returncode, 3)
        lines = result.stderr.splitlines(keepends=True)
        self.assertTrue(lines[0].startswith(b'{"code":"replay_failed","event":"warning","message":"'))
        self.assertTrue(lines[0].endswith(b'","source":"mic"}\n'))
        self.assertEqual(lines[1:], [NO_SOURCE])
        for args in (["--sample-rate", "16000.5", "--no-mic", "--no-system"],
                     ["--no-mic", "--no-mic", "--no-system"]):
            with self.subTest(args=args):
                result = run(args)
                self.assertEqual((result.returncode, result.stderr, result.stdout), (3, NO_SOURCE, b""))


if __name__ == "__main__":
    BINARY = sys.argv.pop(1)
    unittest.main(verbosity=2)
