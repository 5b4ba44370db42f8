#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a running program's window through AT-SPI, as a screen reader does, and fails
listing every control that has no role or no name.

usage: accessible-tree.py PID WINDOW-TITLE-REGEX [--expect "ROLE=NAME"]... [--toggle NAME]
       [--absent "ROLE=NAME"]...

--expect  a control with that role and name must be there (e.g. "push button=Backup").
--absent  no control may have that role and name (a text that should be translated).
--toggle  the check box of that name is toggled through its AT-SPI action, and its checked
          state must follow.
Exit status 0 when every check holds, 1 otherwise."""

import argparse
import re
import sys
import time

import pyatspi

# What a person operates or reads as one thing: each must say what it is.
CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_LIST_ITEM,
    pyatspi.ROLE_PROGRESS_BAR, pyatspi.ROLE_ENTRY, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_SLIDER,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_PAGE_TAB,
}
# Roles that say nothing about what a widget is.
MEANINGLESS_ROLES = {pyatspi.ROLE_FILLER, pyatspi.ROLE_UNKNOWN, pyatspi.ROLE_INVALID}
WINDOW_ROLES = {pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW, pyatspi.ROLE_DIALOG}


def find_window(pid, title, seconds=30):
    pattern = re.compile(title)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is None:
                continue
            try:
                if app.get_process_id() != pid:
                    continue
                for window in app:
                    if window is not None and pattern.search(window.name or ""):
                        return window
            except Exception:  # an application going away while it is listed
                continue
        time.sleep(0.3)
    return None


def walk(node, path, found, depth=0):
    if node is None or depth > 40:
        return
    try:
        role = node.getRole()
        label = node.getRoleName()
        name = node.name or ""
        states = node.getState()
        count = node.childCount
    except Exception as error:
        found.append((path, None, "<unreadable: %s>" % error, "", None, 0))
        return
    found.append((path, role, label, name, states, count))
    for index in range(count):
        walk(node.getChildAtIndex(index), "%s/%d" % (path, index), found, depth + 1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pid", type=int)
    parser.add_argument("title")
    parser.add_argument("--expect", action="append", default=[])
    parser.add_argument("--absent", action="append", default=[])
    parser.add_argument("--toggle", action="append", default=[])
    args = parser.parse_args()

    window = find_window(args.pid, args.title)
    if window is None:
        print("accessible-tree: no window '%s' of process %d on the accessibility bus" % (args.title, args.pid))
        return 1

    nodes = []
    walk(window, "window", nodes)
    faults = []
    seen = set()
    if nodes and nodes[0][1] not in WINDOW_ROLES:
        faults.append("window: the window itself is a %s" % nodes[0][2])
    for path, role, label, name, states, count in nodes:
        if role is None:
            faults.append("%s: %s" % (path, label))
            continue
        showing = states is not None and states.contains(pyatspi.STATE_SHOWING)
        seen.add("%s=%s" % (label, name))
        if not showing:
            continue
        if role in MEANINGLESS_ROLES and count == 0:
            faults.append("%s: a %s without a role of its own (name '%s')" % (path, label, name))
        elif role in CONTROL_ROLES and not name.strip():
            faults.append("%s: a %s without a name" % (path, label))
    for wanted in args.expect:
        if wanted not in seen:
            faults.append("no control '%s'" % wanted)
    for unwanted in args.absent:
        if unwanted in seen:
            faults.append("a control is still '%s'" % unwanted)

    for name in args.toggle:
        box = None
        for path, role, label, found_name, states, count in nodes:
            if role == pyatspi.ROLE_CHECK_BOX and found_name == name:
                box = path
        if box is None:
            faults.append("no check box '%s' to toggle" % name)
            continue
        node = window
        for step in box.split("/")[1:]:
            node = node.getChildAtIndex(int(step))
        before = node.getState().contains(pyatspi.STATE_CHECKED)
        action = node.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if "toggle" not in names:
            faults.append("check box '%s' offers no toggle action: %s" % (name, names))
            continue
        action.doAction(names.index("toggle"))
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and node.getState().contains(pyatspi.STATE_CHECKED) == before:
            time.sleep(0.1)
        if node.getState().contains(pyatspi.STATE_CHECKED) == before:
            faults.append("toggling check box '%s' did not change its checked state" % name)

    if faults:
        print("accessible-tree: %d fault(s) in '%s':" % (len(faults), window.name))
        for fault in faults:
            print("  " + fault)
        print("the tree:")
        for path, role, label, name, states, count in nodes:
            print("  %s %s '%s'" % (path, label, name))
        return 1
    print("accessible-tree: %d objects, every control with a role and a name" % len(nodes))
    return 0


if __name__ == "__main__":
    sys.exit(main())
