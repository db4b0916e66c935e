#!/usr/bin/python3
"""Reads the running program's accessibility tree over AT-SPI, as a screen
reader does: the colour panel's parts, the canvas and the object editor's
preview must carry their names, and their descriptions must follow the
pointer and the colours of the maps drawn. Keys and clicks go in through
xdotool, as a user's would.
Usage: atspi_tree_check.py PROGRAM_PID"""
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

failures = []


def fail(message):
    for line in failures + [message]:
        print("FAIL: " + line)
    sys.exit(1)


def wait_for(what, probe, seconds=30, now=None, soft=False):
    """The first true value of probe() within the deadline; now() says what
    there was instead. A soft wait gives None at the deadline."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            got = probe()
        except GLib.Error:
            got = None  # a part that went away while it was read
        if got:
            return got
        if time.monotonic() > deadline:
            if soft:
                return None
            fail(f"{what}: not within {seconds} s" + (f"; it says '{now()}'" if now else ""))
        time.sleep(0.05)


def walk(node, depth=0):
    yield node
    if depth > 40:
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def find(root, name):
    """The showing part of that name, read afresh (no cached texts)."""
    for node in walk(root):
        node.clear_cache()
        if node.get_name() == name and showing(node):
            return node
    return None


def description(node):
    node.clear_cache()
    return node.get_description()


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, stdout=subprocess.DEVNULL)


def visible_window(title):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                           capture_output=True, text=True)
    return found.stdout.split()[0] if found.returncode == 0 else None


def expect(node, name, role=None, text=None):
    """Collects a wrong role or description of the part called name."""
    if node is None:
        failures.append(f"no part named '{name}' in the tree")
        return
    if role is not None and node.get_role() != role:
        failures.append(f"'{name}' is a {node.get_role_name()}, not a {Atspi.role_get_name(role)}")
    if text is not None and description(node) != text:
        failures.append(f"'{name}' is described as '{description(node)}', not '{text}'")


def main():
    pid = int(sys.argv[1])
    desktop = Atspi.get_desktop(0)

    def program():
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == pid:
                return app
        return None

    app = wait_for("the program on the accessibility bus", program)
    canvas = wait_for("a part named 'Canvas' in the main window", lambda: find(app, "Canvas"))
    window = wait_for("the main window on the screen", lambda: visible_window("Fernweave 2.0"))
    # The splash lies over the canvas for its first second and takes a click.
    wait_for("the splash to close", lambda: visible_window("About Fernweave") is None)

    # The names and what they say before anything is drawn.
    spectrum = find(app, "Colour spectrum")
    expect(spectrum, "Colour spectrum", text="Click a colour to make it the foreground colour")
    fore = find(app, "Foreground colour")
    white = "red 255, green 255, blue 255"
    expect(fore, "Foreground colour", text=white)
    expect(find(app, "Background colour"), "Background colour", text="red 0, green 0, blue 0")
    expect(find(app, "Swap colours"), "Swap colours", text="Swaps the foreground and background colours")
    expect(find(app, "Diffuse"), "Diffuse", role=Atspi.Role.CHECK_BOX,
           text="Maps drawn from now on are rendered diffuse")
    grid = find(app, "Colour grid")
    expect(grid, "Colour grid", text="The colours of the maps being drawn; none yet")

    # The object editor's preview, opened from the keyboard and closed again.
    xdotool("windowfocus", "--sync", window)
    xdotool("key", "ctrl+t")
    wait_for("the object editor to open (Ctrl+T)", lambda: visible_window("Edit Object"))
    preview = wait_for("the preview", lambda: find(app, "Object preview"), seconds=10, soft=True)
    expect(preview, "Object preview", text="The object's attractor drawn live over the canvas, with its triangles")
    xdotool("key", "Escape")
    wait_for("the object editor to close (Escape)", lambda: visible_window("Edit Object") is None)

    if failures:
        return

    # The canvas says where the pointer is, in canvas pixels.
    def corner(node):
        extents = node.get_extents(Atspi.CoordType.SCREEN)
        return extents.x, extents.y

    def click(node, x, y):
        left, top = corner(node)
        xdotool("mousemove", "--sync", str(left + x), str(top + y), "click", "1")

    left, top = corner(canvas)
    xdotool("mousemove", "--sync", str(left + 30), str(top + 40))
    want = "550 by 364 pixels; pointer at 30, 40"
    wait_for("the canvas's description to follow the pointer", lambda: description(canvas) == want, seconds=10,
             now=lambda: description(canvas))

    # A colour from the spectrum, then a base triangle and one map: the
    # foreground swatch says the new colour and the grid's first cell has it.
    click(spectrum, 30, 5)
    colour = wait_for("the foreground swatch to say the colour clicked in the spectrum",
                      lambda: description(fore) != white and description(fore), seconds=10)
    for x, y in [(275, 12), (25, 352), (525, 352), (275, 12), (150, 182), (400, 182)]:
        click(canvas, x, y)
    want = "The colours of the maps being drawn: cell 1: " + colour
    wait_for(f"the colour grid to say '{want}'", lambda: description(grid) == want, seconds=10,
             now=lambda: description(grid))


main()
if failures:
    fail(failures.pop())
print("accessibility tree: the colour panel, the canvas and the object preview have their names")
