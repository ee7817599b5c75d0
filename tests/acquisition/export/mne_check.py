#!/usr/bin/python3
"""Reads exports of one EOL recording with MNE-Python and checks them against
the recording and its sidecar: samples (raw counts x uV per count, exactly for
BDF and GDF, within one step for EDF), labels, rate, unit, start time and every
marker of the events file as an annotation.

usage: mne_check.py RECORDING.EOL EXPORT.bdf|.edf|.gdf ...
Exit status 0 when every export agrees, 1 otherwise, 3 without MNE-Python.
"""

import csv
import datetime
import json
import os
import sys

try:
    import mne
    import numpy as np
except ImportError:
    print("MNE-Python is not installed (python3-mne)")
    sys.exit(3)

SIGNAL_SLOTS = [0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17]
HEADER_BYTES = 200


def sidecar_paths(recording):
    stem = os.path.splitext(recording)[0]
    return stem + ".json", stem + "_events.tsv"


def read_recording(path):
    data = np.fromfile(path, dtype="<i4", offset=HEADER_BYTES)
    return data[: len(data) // 21 * 21].reshape(-1, 21)


def amplifier_events(recording, rate):
    """The event channel's onsets: where it changes to a code other than 0."""
    codes = read_recording(recording)[:, 20]
    previous = np.concatenate(([0], codes[:-1]))
    onsets = np.nonzero((codes != 0) & (codes != previous))[0]
    return [(i / rate, str(codes[i]), "amplifier") for i in onsets]


def edf_steps(path):
    """Physical units per digital step of each signal, from the EDF header."""
    with open(path, "rb") as f:
        head = f.read(256)
        n = int(head[252:256])
        rest = f.read(256 * n)

    def field(offset, width):
        return [float(rest[offset + i * width: offset + (i + 1) * width]) for i in range(n)]

    base = n * (16 + 80 + 8)
    pmin, pmax = field(base, 8), field(base + 8 * n, 8)
    dmin, dmax = field(base + 16 * n, 8), field(base + 24 * n, 8)
    return [(pmax[i] - pmin[i]) / (dmax[i] - dmin[i]) for i in range(n)]


def read_export(path):
    kind = os.path.splitext(path)[1].lower()
    reader = {".bdf": mne.io.read_raw_bdf, ".edf": mne.io.read_raw_edf, ".gdf": mne.io.read_raw_gdf}[kind]
    return kind, reader(path, preload=True, verbose="error")


def check(recording, path, sidecar, events, failures):
    def fail(text):
        failures.append(f"{os.path.basename(path)}: {text}")

    counts = read_recording(recording)[:, SIGNAL_SLOTS].T.astype(np.float64)
    kind, raw = read_export(path)
    labels = [sidecar["RecordSlots"][s] for s in SIGNAL_SLOTS]
    eeg = [c for c in raw.ch_names if c in labels]
    if eeg != labels:
        fail(f"labels {raw.ch_names} instead of {labels}")
        return
    if abs(raw.info["sfreq"] - sidecar["SamplingFrequency"]) > 1e-6:
        fail(f"rate {raw.info['sfreq']}")
    if any(ch["unit"] != mne.io.constants.FIFF.FIFF_UNIT_V for ch in raw.info["chs"] if ch["ch_name"] in labels):
        fail("a signal not in volts")
    uv = sidecar["MicrovoltsPerCount"]
    microvolts = raw.get_data(picks=labels) * 1e6
    if microvolts.shape != counts.shape:
        fail(f"{microvolts.shape[1]} samples instead of {counts.shape[1]}")
        return
    expected = counts * uv
    error = np.abs(microvolts - expected)
    if kind == ".edf":
        steps = np.array(edf_steps(path)[: len(labels)]) * 1.0000001
        worst = (error / steps[:, None]).max()
        if worst > 1.0:
            fail(f"a sample {worst:.3f} steps away from raw x factor")
    elif error.max() > 1e-9 * max(1.0, np.abs(expected).max()):
        fail(f"samples differ from raw x factor by up to {error.max()} uV")

    start = datetime.datetime.fromisoformat(sidecar["StartTime"]).replace(tzinfo=None)
    meas = raw.info["meas_date"].replace(tzinfo=None)
    if abs((meas - start).total_seconds()) > 1.0:
        fail(f"start {meas} instead of {start}")

    rate = sidecar["SamplingFrequency"]
    annotations = [(round(a["onset"] * rate), a["description"]) for a in raw.annotations if a["description"]]
    for onset, value, source in events:
        sample = round(onset * rate)
        near = [d for s, d in annotations if abs(s - sample) <= 1]
        numeric = value.isdigit() and 1 <= int(value) <= 65535
        # GDF types events by number only: a text marker has a code of its own.
        if value in near or (kind == ".gdf" and not numeric and any(d.isdigit() for d in near)):
            continue
        fail(f"no annotation {value!r} ({source}) at {onset:.3f} s; near it: {near}")
    if len(annotations) != len(events):
        fail(f"{len(annotations)} annotations for {len(events)} markers")
    print(f"{os.path.basename(path)}: {len(labels)} signals, {counts.shape[1]} samples, {rate} Hz, uV, "
          f"start {meas}, {len(annotations)} annotations")


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    recording = sys.argv[1]
    json_path, events_path = sidecar_paths(recording)
    with open(json_path, encoding="utf-8") as f:
        sidecar = json.load(f)
    # The amplifier's events as the recording holds them; the sidecar's copy
    # of them may end early when the program was killed.
    with open(events_path, encoding="utf-8", newline="") as f:
        events = [(float(r["onset"]), r["value"], r["source"]) for r in csv.DictReader(f, delimiter="\t")
                  if r["source"] != "amplifier"]
    events += amplifier_events(recording, sidecar["SamplingFrequency"])
    failures = []
    for path in sys.argv[2:]:
        check(recording, path, sidecar, events, failures)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
