#!/usr/bin/python3
"""How fast the program's window answers accessibility queries (AT-SPI, as screen readers and
test tools ask them), idle and while a read runs.

One round of queries: find the window's menu bar, read the names of its items, and find the
button "Прочитать". The rounds are timed first with the window idle, then while a whole
configuration read runs, started through the same interface (the button's action, then Enter
on the confirmation). Run by bench/atspi_bench.sh, which provides the display, the session
bus, the simulator and the program.

    atspi_probe.py [--idle-rounds N]
"""

import statistics
import subprocess
import sys
import time

import pyatspi

PROGRAM = "rv740x-config"


def find_application(deadline):
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == PROGRAM:
                return app
        time.sleep(0.2)
    return None


def find(node, predicate, depth=0):
    if node is None or depth > 12:
        return None
    if predicate(node):
        return node
    for i in range(node.childCount):
        found = find(node.getChildAtIndex(i), predicate, depth + 1)
        if found is not None:
            return found
    return None


def query_round(app):
    """One round; its time in seconds and whether it found everything."""
    start = time.monotonic()
    menu_bar = find(app, lambda n: n.getRole() == pyatspi.ROLE_MENU_BAR)
    items = [menu_bar.getChildAtIndex(i).name for i in range(menu_bar.childCount)] if menu_bar else []
    button = find(app, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "Прочитать")
    return time.monotonic() - start, bool(menu_bar and items and button)


def summary(times):
    return "median %.3f s, max %.3f s (%d rounds)" % (statistics.median(times), max(times), len(times))


def main():
    idle_rounds = int(sys.argv[sys.argv.index("--idle-rounds") + 1]) if "--idle-rounds" in sys.argv else 10
    app = find_application(time.monotonic() + 30)
    if app is None:
        print("atspi_probe: %s is not on the accessibility bus" % PROGRAM)
        return 2

    idle = []
    for _ in range(idle_rounds):
        t, ok = query_round(app)
        if not ok:
            print("atspi_probe: a round did not find the menu bar, its items and the button")
            return 2
        idle.append(t)
    print("idle:         " + summary(idle))

    # The read: the button's action, then Enter on " Считать данные ?".
    button = find(app, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "Прочитать")
    button.queryAction().doAction(0)
    time.sleep(0.5)
    subprocess.run(["xdotool", "key", "Return"], check=True)
    time.sleep(0.3)

    busy = []
    started = time.monotonic()
    # The read ends when the button is enabled again.
    while time.monotonic() - started < 120:
        t, _ = query_round(app)
        button = find(app, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "Прочитать")
        if button is not None and button.getState().contains(pyatspi.STATE_ENABLED):
            break
        busy.append(t)
    if not busy:
        print("atspi_probe: the read did not start")
        return 2
    print("during a read: " + summary(busy))
    ratio = statistics.median(busy) / statistics.median(idle)
    print("median during a read / idle: %.2f" % ratio)
    return 0


if __name__ == "__main__":
    sys.exit(main())
