#!/usr/bin/env python3
"""Writes benchmarks/RESULTS.md from the JSON files that scripts/benchmark
collects: every figure next to the floor measured in the same run."""

import datetime
import json
import os
import platform
import subprocess
import sys

UNIT_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load(directory):
    runs = {}
    context = {}
    for name in ("input", "host", "frame_stream", "capture"):
        with open(os.path.join(directory, name + ".json")) as f:
            data = json.load(f)
        context = data["context"]
        runs[name] = {b["name"]: b for b in data["benchmarks"]}
    with open(os.path.join(directory, "idle.json")) as f:
        idle = json.load(f)
    return runs, context, idle


def nanoseconds(run):
    return run["real_time"] * UNIT_NS[run["time_unit"]]


def duration(ns):
    if ns >= 1e6:
        return "%.2f ms" % (ns / 1e6)
    if ns >= 1e3:
        return "%.1f µs" % (ns / 1e3)
    return "%.0f ns" % ns


def main(directory, output):
    runs, context, idle = load(directory)

    def figure(group, name):
        return runs[group][name]

    def row(what, group, name, floor_group, floor_name, floor_what, target):
        measured = nanoseconds(figure(group, name))
        floor = nanoseconds(figure(floor_group, floor_name))
        return "| %s | %s | %s | %s | %.2f | %s |" % (
            what, duration(measured), floor_what, duration(floor),
            measured / floor, target)

    lines = []
    add = lines.append
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True,
                            cwd=os.path.dirname(output)).stdout.strip()
    add("# Benchmark results")
    add("")
    # scripts/benchmark measures the build that scripts/setup configures.
    add("Measured by `scripts/benchmark` on %s at commit %s: %s, %d CPUs "
        "(%d MHz), RelWithDebInfo build. Every ratio is the figure divided by "
        "its floor from the same run; the times are wall-clock means. "
        "Regenerate with `scripts/benchmark`." % (
            datetime.date.today().isoformat(), commit or "(unknown)",
            platform.machine(), context.get("num_cpus", 0),
            context.get("mhz_per_cpu", 0)))
    add("")
    add("## Against the floors")
    add("")
    add("| figure | measured | floor | floor measured | ratio | target |")
    add("|---|---|---|---|---|---|")
    add(row("controller frame message: encoded bytes to encoded reply through "
            "the messenger, the bridge and `SubmitFrame`", "host",
            "ControllerFrameMessage", "host", "BareWrite528",
            "one bare 528-byte write to /dev/null", "≤ 5"))
    add(row("… of which the messenger's own round trip (same bytes, echoed "
            "by a handler)", "host", "MessengerEcho", "host", "BareWrite528",
            "the same write", ""))
    add(row("… of which `SubmitFrame` (translate, one write)", "input",
            "SubmitFrame", "input", "BareWrite528", "the same write", ""))
    add(row("frame stream through the peer socket, one frame's round trip",
            "frame_stream", "FrameStream/program/round_trip/real_time",
            "frame_stream", "FrameStream/bare_echo/round_trip/real_time",
            "the same bytes echoed by a bare Unix socket", ""))
    add(row("frame stream through the peer socket, pipelined (time per frame)",
            "frame_stream", "FrameStream/program/pipelined/real_time",
            "frame_stream", "FrameStream/bare_echo/pipelined/real_time",
            "the same bytes echoed, pipelined", ""))
    # The covered window is the window scene with another window over its
    # middle: the same grab and floors.
    for scene, grabbed, what in (
            ("window", "window", "1280x720 window → 640x360"),
            ("covered", "window",
             "1280x720 window covered in its middle → 640x360"),
            ("desktop", "desktop", "1920x1080 desktop → 1280x720")):
        add(row("capture, %s, q80, encoded" % what, "capture",
                "Capture/%s/encoded" % scene, "capture",
                "FloorGrabAndDirectEncode/%s" % grabbed,
                "grab + direct libjpeg-turbo encode of the scaled pixels",
                "≤ 2" if scene == "window" else ""))
        add(row("capture, %s, unchanged: nothing drawn since" % what,
                "capture", "Capture/%s/unchanged" % scene, "capture",
                "Grab/%s" % grabbed, "the grab alone", "≤ 2"))
        add(row("capture, %s, unchanged: drawn on with the same pixels" % what,
                "capture", "Capture/%s/redrawn" % scene, "capture",
                "FloorGrabAndRead/%s" % grabbed,
                "the grab and one read of each cache line of its pixels", ""))
    add("")
    stream = runs["frame_stream"]
    add("Frames per second through the peer socket, pipelined: %.0f "
        "(bare echo: %.0f)." % (
            stream["FrameStream/program/pipelined/real_time"]["items_per_second"],
            stream["FrameStream/bare_echo/pipelined/real_time"]["items_per_second"]))
    frame_message = runs["host"]
    add("Longest wait of a frame message at 250 Hz: %.0f µs alone, %.0f µs "
        "while deck actions run back to back." % (
            frame_message["FrameMessage/deck_actions_running:0/iterations:1000"]["longest_wait_us"],
            frame_message["FrameMessage/deck_actions_running:1/iterations:1000"]["longest_wait_us"]))
    add("")
    add("## Capture step by step")
    add("")
    add("| step | 1280x720 window → 640x360 | 1920x1080 desktop → 1280x720 |")
    add("|---|---|---|")
    steps = (
        ("connect (once per bridge, not per frame)", "Connect"),
        ("grab (MIT-SHM; a window from its own pixmap through Composite)",
         "Grab"),
        ("grab through the socket (`XGetImage`, the fallback)",
         "GrabThroughSocket"),
        ("hash (XXH3 over every pixel byte)", "Hash"),
        ("copy and scale (2x2 halving where needed, pixman bilinear)", "Scale"),
        ("encode (libjpeg-turbo, q80)", "Encode"),
        ("whole capture, encoded", "Capture/%s/encoded"),
        ("whole capture, unchanged: nothing drawn since", "Capture/%s/unchanged"),
        ("whole capture, unchanged: drawn on with the same pixels",
         "Capture/%s/redrawn"),
    )
    capture = runs["capture"]
    for what, name in steps:
        cells = []
        for scene in ("window", "desktop"):
            key = name % scene if "%s" in name else "%s/%s" % (name, scene)
            cells.append(duration(nanoseconds(capture[key])))
        add("| %s | %s | %s |" % (what, cells[0], cells[1]))
    add("")
    add("JPEG size: %.1f kB (window), %.1f kB (desktop)." % (
        capture["Encode/window"]["jpeg_bytes"] / 1000,
        capture["Encode/desktop"]["jpeg_bytes"] / 1000))
    add("")
    add("## Idle cost")
    add("")
    ticks = float(idle["ticks_per_second"])
    own = (idle["utime"] + idle["stime"]) / ticks
    tools = (idle["cutime"] + idle["cstime"]) / ticks
    add("`korvane_desktop` on a private Xvfb server for %s s with no peer: "
        "%.2f s of CPU time of its own and %.2f s in the desktop tools its "
        "telemetry runs (%.2f %% of one core in all); peak resident size "
        "%.1f MB." % (idle["seconds"], own, tools,
                      100 * (own + tools) / float(idle["seconds"]),
                      idle["peak_rss_kb"] / 1024))
    with open(output, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
