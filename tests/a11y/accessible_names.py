#!/usr/bin/python3
# Starts MEV on the Audios tab and reads its accessible tree back through AT-SPI: the
# tabs, the folder tree, the file list and the volume slider must carry names and roles
# a screen reader can announce. Usage: accessible_names.py PROGRAM FOLDER
import os
import subprocess
import sys
import time

import pyatspi

LIMIT_S = 60


def walk(node, depth=0):
    if node is None or depth > 60:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def snapshot(app):
    found = []
    for node in walk(app):
        try:
            found.append((node.getRoleName(), node.name, node.getState().contains(pyatspi.STATE_SELECTED)))
        except Exception:
            pass
    return found


def main():
    program, folder = sys.argv[1], sys.argv[2]
    expected = {
        ("page tab list", "Tabs"),
        ("page tab", "Images"),
        ("page tab", "Audios"),
        ("page tab", "Videos"),
        ("tree", "Audios folders"),
        ("table", "Audios files"),
        ("slider", "Volume"),
    }
    proc = subprocess.Popen([program, "Audios=" + folder, "show=Audios"])
    found = []
    try:
        deadline = time.monotonic() + LIMIT_S
        while time.monotonic() < deadline:
            app = find_app(proc.pid)
            if app is not None:
                found = snapshot(app)
                names = {(role, name) for role, name, _ in found}
                if expected <= names:
                    break
            if proc.poll() is not None:
                break
            time.sleep(0.5)
    finally:
        proc.terminate()
        proc.wait(timeout=30)
    names = {(role, name) for role, name, _ in found}
    missing = sorted(expected - names)
    selected = [name for role, name, sel in found if role == "page tab" and sel]
    for role, name, sel in found:
        if name or role in ("page tab list", "page tab", "tree", "table", "slider"):
            print(f"{role}: {name!r}{' (selected)' if sel else ''}")
    if missing:
        print("FAIL: missing", missing)
        return 1
    if selected != ["Audios"]:
        print("FAIL: selected tabs", selected)
        return 1
    print("accessible names: all found")
    return 0


if __name__ == "__main__":
    sys.exit(main())
