"""Runs vantro-capture on replay files as a host would: paced runs that end by
themselves, stop on a signal or at the end of stdin, or lose their stdout,
and fast runs compared sample by sample with sox's own conversion."""
import array
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BINARY = None
RATE = 16000
BLOCK = 320


def sox(*args):
    subprocess.run(["sox", *args], check=True, capture_output=True)


def events(stderr: bytes):
    return [json.loads(line) for line in stderr.decode("utf-8").splitlines()]


def channels(pcm: bytes):
    samples = array.array("h")
    samples.frombytes(pcm)
    return samples[0::2], samples[1::2]


def to_pcm(x: float) -> int:
    """The output rule: clamp (NaN as 1), scale by 32767, truncate."""
    c = max(x, -1.0) if x < 1.0 else 1.0
    return int(array.array("f", [c * 32767.0])[0])


def rms(samples):
    return (sum(s * s for s in samples) / max(len(samples), 1)) ** 0.5


class Fixtures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        d = cls.dir.name
        cls.mic = os.path.join(d, "mic 48k stereo.wav")       # 1.0 s
        cls.system = os.path.join(d, "system 44k1.flac")      # 0.6 s
        cls.long = os.path.join(d, "long.wav")                 # 10 s
        cls.empty = os.path.join(d, "empty.wav")
        cls.missing = os.path.join(d, "missing.wav")
        sox("-n", "-r", "48000", "-c", "2", cls.mic, "synth", "1.0", "sine", "440", "sine", "1000", "vol", "0.5")
        # Noise kept below 6 kHz, so that two different anti-alias filters
        # must agree on it sample by sample.
        sox("-n", "-r", "44100", "-c", "2", cls.system, "synth", "0.6", "pinknoise", "vol", "0.3", "sinc", "-6000")
        sox("-n", "-r", "48000", "-c", "1", cls.long, "synth", "10", "sine", "300", "vol", "0.5")
        sox("-n", "-r", "48000", "-c", "1", cls.empty, "synth", "0.01", "trim", "0", "0s")

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def run_capture(self, args, stdin_open=False, timeout=30):
        """Runs to the end; stdin is at end of file, or held open throughout."""
        if not stdin_open:
            return subprocess.run([BINARY, *args], stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        read_end, write_end = os.pipe()
        try:
            return subprocess.run([BINARY, *args], stdin=read_end, capture_output=True, timeout=timeout)
        finally:
            os.close(read_end)
            os.close(write_end)


class PacedRuns(Fixtures):
    def test_two_replays_end_by_themselves(self):
        result = self.run_capture(["--replay-mic", self.mic, "--replay-system", self.system],
                                  stdin_open=True)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(events(result.stderr), [
            {"event": "ready", "mic": True, "sampleRate": 16000, "system": True},
            {"event": "ended", "reason": "replay_finished"},
            {"event": "stopped"}])
        frames = len(result.stdout) // 4
        self.assertEqual(len(result.stdout) % (4 * BLOCK), 0)
        # The longer file (1.0 s), then silence while the run winds down: the
        # 0.2 s pause before "ended", less the writer's 100 ms lag.
        self.assertGreaterEqual(frames, RATE)
        self.assertLessEqual(frames, RATE + 0.1 * RATE + 20 * BLOCK)
        left, right = channels(result.stdout)
        self.assertGreater(rms(left[2000:14000]), 3000)
        self.assertGreater(rms(right[2000:8000]), 300)
        self.assertLess(rms(right[12000:]), 1)  # the shorter file has ended

    def test_a_missing_replay_file_is_a_warning_and_the_other_side_goes_on(self):
        result = self.run_capture(["--replay-mic", self.missing, "--replay-system", self.system],
                                  stdin_open=True)
        self.assertEqual(result.returncode, 0)
        lines = events(result.stderr)
        self.assertEqual(lines[0]["event"], "warning")
        self.assertEqual((lines[0]["source"], lines[0]["code"]), ("mic", "replay_failed"))
        self.assertTrue(lines[0]["message"])
        self.assertEqual(lines[1:], [
            {"event": "ready", "mic": False, "sampleRate": 16000, "system": True},
            {"event": "ended", "reason": "replay_finished"},
            {"event": "stopped"}])
        left, _ = channels(result.stdout)
        self.assertEqual(max(map(abs, left)), 0)

    def test_stdin_at_end_of_file_from_the_start_stops_at_once(self):
        result = self.run_capture(["--replay-mic", self.long, "--replay-system", self.long])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(events(result.stderr), [
            {"event": "ready", "mic": True, "sampleRate": 16000, "system": True},
            {"event": "stopped"}])
        self.assertLess(len(result.stdout), 4 * RATE)  # drained, far from the whole file

    def _start(self, args):
        process = subprocess.Popen([BINARY, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        self.addCleanup(lambda: [f.close() for f in (process.stdin, process.stdout, process.stderr)])
        return process

    def test_sigterm_during_a_replay_is_an_orderly_stop(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(sig=sig):
                process = self._start(["--replay-mic", self.long, "--replay-system", self.long])
                first = process.stderr.readline()
                self.assertEqual(json.loads(first)["event"], "ready")
                process.stdout.read(4 * BLOCK * 5)
                process.send_signal(sig)
                out, err = process.communicate(timeout=30)
                self.assertEqual(process.returncode, 0)
                self.assertEqual(events(err), [{"event": "stopped"}])

    def test_bytes_on_stdin_are_ignored(self):
        process = self._start(["--replay-mic", self.mic, "--replay-system", self.mic])
        process.stdin.write(b"stop\nplease\n")
        process.stdin.flush()
        out = process.stdout.read()  # to the end: the run ends by itself
        err = process.stderr.read()
        process.wait(timeout=30)
        process.stdin.close()
        self.assertEqual([e["event"] for e in events(err)], ["ready", "ended", "stopped"])

    def test_the_host_closing_stdout_gives_status_4_without_stopped(self):
        process = self._start(["--replay-mic", self.long, "--replay-system", self.long])
        process.stdout.read(4 * BLOCK)
        process.stdout.close()
        process.wait(timeout=30)
        self.assertEqual(process.returncode, 4)
        self.assertEqual(events(process.stderr.read()),
                         [{"event": "ready", "mic": True, "sampleRate": 16000, "system": True}])


class FastRuns(Fixtures):
    def reference(self, path):
        """sox's own conversion of `path` to mono float at the session rate."""
        raw = path + ".f32"
        sox(path, "-e", "floating-point", "-b", "32", "-r", str(RATE), "-c", "1", "-t", "raw", raw, "rate", "-v")
        samples = array.array("f")
        with open(raw, "rb") as f:
            samples.frombytes(f.read())
        return [to_pcm(x) for x in samples]

    @staticmethod
    def best_lag(ours, theirs, span=range(-64, 65)):
        middle = range(2000, 6000)

        def score(lag):
            return sum(ours[i + lag] * theirs[i] for i in middle)
        return max(span, key=score)

    def test_fast_output_matches_an_independent_conversion(self):
        result = self.run_capture(["--fast", "--replay-mic", self.mic, "--replay-system", self.system])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(events(result.stderr), [
            {"event": "ready", "mic": True, "sampleRate": 16000, "system": True},
            {"event": "ended", "reason": "replay_finished"},
            {"event": "stopped"}])
        left, right = channels(result.stdout)
        for ours, path in ((left, self.mic), (right, self.system)):
            theirs = self.reference(path)
            lag = self.best_lag(ours, theirs)
            self.assertLessEqual(abs(lag), 64)
            compared = range(500, len(theirs) - 500)
            worst = max(abs(ours[i + lag] - theirs[i]) for i in compared)
            self.assertLessEqual(worst, 4, f"{path}: lag {lag}")
        # The output is as long as the longer file; the shorter side is then silent.
        self.assertAlmostEqual(len(left), RATE, delta=2)
        self.assertEqual(max(map(abs, right[int(0.6 * RATE) + 64:])), 0)

    def test_only_a_mic_file_leaves_the_right_channel_silent(self):
        result = self.run_capture(["--fast", "--no-mic", "--replay-mic", self.mic])
        self.assertEqual(events(result.stderr)[0], {"event": "ready", "mic": True, "sampleRate": 16000,
                                                     "system": False})
        left, right = channels(result.stdout)
        self.assertGreater(rms(left), 3000)
        self.assertEqual(max(map(abs, right)), 0)

    def test_files_without_samples_write_nothing(self):
        result = self.run_capture(["--fast", "--replay-mic", self.empty, "--replay-system", self.empty])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(events(result.stderr), [
            {"event": "ready", "mic": False, "sampleRate": 16000, "system": False},
            {"event": "ended", "reason": "replay_finished"},
            {"event": "stopped"}])

    def test_a_failing_file_writes_nothing(self):
        result = self.run_capture(["--fast", "--replay-mic", self.mic, "--replay-system", self.missing])
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stdout, b"")
        lines = events(result.stderr)
        self.assertEqual(len(lines), 1)
        self.assertEqual((lines[0]["event"], lines[0]["code"]), ("error", "replay_failed"))
        self.assertTrue(lines[0]["message"])

    def test_the_reader_closing_early_gives_status_4_after_ready(self):
        process = subprocess.Popen([BINARY, "--fast", "--replay-mic", self.long], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(process.stderr.close)
        process.stdout.read(16)
        process.stdout.close()
        process.wait(timeout=30)
        self.assertEqual(process.returncode, 4)
        self.assertEqual([e["event"] for e in events(process.stderr.read())], ["ready"])


if __name__ == "__main__":
    BINARY = sys.argv.pop(1)
    unittest.main(verbosity=2)
