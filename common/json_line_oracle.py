"""Oracle for the JSON-line writer: reads cases from stdin, checks each line
with Python's own json module and prints one verdict per failing case.

Each case is two lines: the hex of the raw key and value bytes ("KEYHEX VALHEX")
and the line the writer produced for the object {key: value, "z/": [value]}.
"""
import json
import sys

failures = 0
data = sys.stdin.buffer.read().split(b"\n")
cases = 0
for i in range(0, len(data) - 1, 2):
    cases += 1
    key_hex, value_hex = data[i].decode("ascii").split(" ")
    key = bytes.fromhex(key_hex).decode("utf-8", "replace")
    value = bytes.fromhex(value_hex).decode("utf-8", "replace")
    produced = data[i + 1]
    try:
        parsed = json.loads(produced.decode("utf-8", "strict"))
    except ValueError as error:
        print(f"case {cases}: not valid JSON/UTF-8: {error}: {produced!r}")
        failures += 1
        continue
    expected_object = {key: value, "z/": [value]}
    if parsed != expected_object:
        print(f"case {cases}: parsed {parsed!r}, expected {expected_object!r}")
        failures += 1
    canonical = json.dumps(expected_object, ensure_ascii=False,
                           separators=(",", ":"), sort_keys=True)
    canonical = canonical.replace("/", "\\/").encode("utf-8")
    if produced != canonical:
        print(f"case {cases}: bytes {produced!r}, expected {canonical!r}")
        failures += 1
print(f"checked {cases} cases, {failures} failures")
sys.exit(1 if failures or cases == 0 else 0)
