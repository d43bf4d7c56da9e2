#!/usr/bin/env python3
"""Whole-program figures of a release `vyx`, printed against their targets:
`vyx validate` of a 16 MB scenario beside Python's json.load of the same file,
the peak memory of `vyx validate` on 560,000 short steps, and vyx's own CPU
per step of a traced 20-step run on a 5,000-node screen of the fake adb
(`perf stat --no-inherit`: the fake's processes are not counted).

    bench/run_figures.py [path/to/vyx]     (default: build/rel/vyx)
"""

import json
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VYX = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/rel/vyx"))
FAKES = os.path.join(ROOT, "tests/fakes")


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def mixed_scenario(steps):
    """Pretty-printed, the mix of steps scenario files hold (as bench/json_bench.cpp)."""
    out = []
    for i in range(steps):
        k = i % 5
        if k == 0:
            out.append('    {"action": "tap", "selector": {"resourceId": "com.example.shop:id/button_continue_%d", "text": "Continue to payment"}}' % i)
        elif k == 1:
            out.append('    {\n      "action": "typeText",\n      "selector": {"resourceId": "com.example.shop:id/email"},\n'
                       '      "text": "shopper.user%d@example.com"\n    }' % i)
        elif k == 2:
            out.append('    {"action": "waitVisible", "timeoutMs": 15000, "selector": {"textContains": "Order #%d confirmed", '
                       '"className": "android.widget.TextView"}}' % i)
        elif k == 3:
            out.append('    {"action": "swipe", "x1": 540, "y1": 1600, "x2": 540, "y2": 400, "durationMs": 250}')
        else:
            out.append('    {"action": "optional", "step": {"action": "tap", "selector": {"contentDesc": '
                       '"Dismiss \\u00e9 promotion banner"}}, "note": "ratio 0.75", "weight": 0.75}')
    return '{\n  "name": "Checkout smoke",\n  "appId": "com.example.shop",\n  "steps": [\n' + ",\n".join(out) + "\n  ]\n}\n"


def short_scenario(steps):
    kinds = ['{"action":"pressBack"}', '{"action":"sleep","ms":%d}', '{"action":"hideKeyboard"}', '{"action":"snapshot"}']
    body = ",\n".join("  " + (kinds[i % 4] % (i % 100000) if i % 4 == 1 else kinds[i % 4]) for i in range(steps))
    return '{"name":"short","steps":[\n' + body + "\n]}\n"


def screen(nodes):
    """A 5,000-node dump: rows of nine widgets under one root (as bench/uiautomator_bench.cpp)."""
    parts = ["<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation=\"0\">"]

    def node(i, cls, text, rid, desc, leaf):
        y = 120 + (i % 20) * 96
        parts.append(
            '<node index="%d" text="%s" resource-id="%s" class="%s" package="com.example.shop" content-desc="%s" '
            'checkable="false" checked="false" clickable="%s" enabled="true" focusable="false" focused="false" '
            'scrollable="false" long-clickable="false" password="false" selected="%s" bounds="[0,%d][1080,%d]"%s'
            % (i % 9, text, rid, cls, desc, "true" if i % 3 == 0 else "false", "true" if i % 50 == 0 else "false",
               y, y + 96, " />" if leaf else ">"))

    node(0, "android.widget.FrameLayout", "", "", "", False)
    i = 1
    while i < nodes:
        node(i, "android.widget.LinearLayout", "", "com.example.shop:id/row", "", False)
        i += 1
        for k in range(9):
            if i >= nodes:
                break
            rows = [
                ("android.widget.TextView", "Fish &amp; Chips No. %d" % i, "com.example.shop:id/title", ""),
                ("android.widget.TextView", "&quot;Today&quot; only &lt;3", "com.example.shop:id/subtitle", ""),
                ("android.widget.TextView", "user%d@example.com" % i, "com.example.shop:id/email", ""),
                ("android.widget.EditText", "hunter%d" % i, "com.example.shop:id/password", ""),
                ("android.widget.ImageView", "", "com.example.shop:id/thumb", "Photo of item %d" % i),
                ("android.widget.Button", "Add to basket", "com.example.shop:id/add_%d" % i, ""),
                ("android.widget.TextView", "Internal build %d" % i, "", ""),
                ("android.widget.TextView", "12,99 \u20ac", "com.example.shop:id/price", ""),
                ("android.view.View", "", "", ""),
            ]
            node(i, *rows[k], True)
            i += 1
        parts.append("</node>")
    parts.append("</node></hierarchy>")
    return "".join(parts)


def run(argv, **kw):
    return subprocess.run(argv, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def validate_against_python(work):
    path = os.path.join(work, "mixed.json")
    write(path, mixed_scenario(120000))
    vyx, py = [], []
    for _ in range(7):
        start = time.perf_counter()
        out = run([VYX, "validate", path]).stdout
        vyx.append(time.perf_counter() - start)
        start = time.perf_counter()
        with open(path, "rb") as f:
            json.load(f)
        py.append(time.perf_counter() - start)
    assert out.endswith(b"120000 steps)\n"), out
    size = os.path.getsize(path)
    print("validate, %.1f MB, 120,000 steps: vyx %.1f ms, json.load %.1f ms, ratio %.2f (target <= 0.30)"
          % (size / 1e6, min(vyx) * 1e3, min(py) * 1e3, min(vyx) / min(py)))


def validate_memory(work):
    path = os.path.join(work, "short.json")
    write(path, short_scenario(560000))
    r = run(["/usr/bin/time", "-f", "%M", VYX, "validate", path])
    assert r.stdout.endswith(b"560000 steps)\n"), r.stdout
    peak_kb = int(r.stderr.decode().strip().splitlines()[-1])
    print("validate, %.1f MiB, 560,000 steps: peak RSS %.1f MB (target <= 120)"
          % (os.path.getsize(path) / 2**20, peak_kb * 1024 / 1e6))


def cpu_per_step(work):
    device = os.path.join(work, "device")
    write(os.path.join(device, "ui.xml"), screen(5000))
    write(os.path.join(device, "window.txt"),
          "  mCurrentFocus=Window{42 u0 com.example.shop/com.example.shop.MainActivity}\n")
    write(os.path.join(device, "wm-size.txt"), "Physical size: 1080x2400\n")
    write(os.path.join(device, "wm-density.txt"), "Physical density: 420\n")
    write(os.path.join(device, "logcat.txt"), "I/ActivityManager: Displayed com.example.shop/.MainActivity\n" * 80)
    with open(os.path.join(device, "screencap.png"), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + bytes(200000))
    steps = []
    for row in range(0, 500, 50):  # row r holds nodes 10r+1 to 10r+10
        steps.append({"action": "tap", "selector": {"id": "com.example.shop:id/add_%d" % (10 * row + 7)}})
        steps.append({"action": "assertVisible", "selector": {"text": "Fish & Chips No. %d" % (10 * row + 2)}})
    write(os.path.join(work, "steps.json"), json.dumps({"name": "cpu", "appId": "com.example.shop", "steps": steps}))
    env = dict(os.environ, VYX_FAKE_ANDROID_DIR=device)
    best = None
    for _ in range(3):
        r = run(["perf", "stat", "--no-inherit", "-x,", "-e", "task-clock", VYX, "run", "steps.json", "--adb",
                 os.path.join(FAKES, "adb"), "--trace-dir", "t", "--json"], cwd=work, env=env)
        assert b'"status":"passed"' in r.stdout, r.stdout
        ms = float(next(l for l in r.stderr.decode().splitlines() if "task-clock" in l).split(",")[0])
        best = ms if best is None else min(best, ms)
    print("run, 20 steps on a 5,000-node screen: vyx CPU %.1f ms per step (target <= 5)" % (best / 20))


def main():
    print("vyx: %s; load average %s" % (VYX, " ".join("%.2f" % x for x in os.getloadavg())))
    with tempfile.TemporaryDirectory(prefix="vyx-figures-") as work:
        validate_against_python(work)
        validate_memory(work)
        cpu_per_step(work)


if __name__ == "__main__":
    main()
