"""Reads the main window's accessibility tree through AT-SPI and checks that
every text box and drop-down list has a distinct name that says its group and
field, tied to the label beside it, that each group's buttons say their
group, and that the connection state can be read.

Run by accessible_names_test.sh inside a private D-Bus session."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

FORM_GROUPS = ["WWAN1", "WWAN2", "WWAN3", "WWAN4", "Wi-Fi"]
UNIT_BOXES = {"Firmware version", "MCU ID", "Serial number", "Connection state", "Port"}
LABELLED_UNIT_BOXES = {"Firmware version", "MCU ID", "Serial number"}
COLONS = "\uff1a:"

failures = []


def fail(text):
    failures.append(text)


def walk(node, depth=0):
    """Every object below node; a drop-down's list items stay out."""
    if depth > 12:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        if child.getRole() != pyatspi.ROLE_COMBO_BOX:
            yield from walk(child, depth + 1)


def extents(node):
    return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def inside(node, frame):
    box, outer = extents(node), extents(frame)
    cx, cy = box.x + box.width // 2, box.y + box.height // 2
    return outer.x <= cx < outer.x + outer.width and outer.y <= cy < outer.y + outer.height


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except NotImplementedError:
        return ""


def targets(node, relation_type):
    found = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == relation_type:
            found += [relation.getTarget(i) for i in range(relation.getNTargets())]
    return found


def find_window(app, bound):
    """The program's top-level window once its form is in the tree; None if
    the program ends first."""
    pid = app.pid
    end = time.monotonic() + bound
    last_error = None
    while time.monotonic() < end and app.poll() is None:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is None or app.get_process_id() != pid:
                    continue
                for j in range(app.childCount):
                    window = app.getChildAtIndex(j)
                    if window.name == "Orra QVL Utility":
                        nodes = list(walk(window))
                        if sum(n.getRole() == pyatspi.ROLE_COMBO_BOX for n in nodes) >= 10:
                            return window
            except Exception as error:  # the tree changes while it is read
                last_error = error
        time.sleep(0.25)
    if last_error is not None:
        print("reading the tree:", repr(last_error))
    return None


def wait_for_text(node, wanted, bound):
    end = time.monotonic() + bound
    while time.monotonic() < end and text_of(node) != wanted:
        time.sleep(0.25)
    return text_of(node)


def check(window):
    nodes = [n for n in walk(window)]
    role = {id(n): n.getRole() for n in nodes}
    frames = [n for n in nodes if role[id(n)] == pyatspi.ROLE_PANEL and n.name]
    group_frames = {}
    for frame in frames:
        caption = frame.name.replace(" (Changed)", "")
        if caption in FORM_GROUPS:
            group_frames[caption] = frame
    if sorted(group_frames) != sorted(FORM_GROUPS):
        fail("group boxes not found: %s" % sorted(f.name for f in frames))
        return None

    def group_of(node):
        """The form group the node lies in; None for the unit panel."""
        for group, frame in group_frames.items():
            if inside(node, frame):
                return group
        return None

    texts = [n for n in nodes if role[id(n)] in (pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT)]
    lists = [n for n in nodes if role[id(n)] == pyatspi.ROLE_COMBO_BOX]
    buttons = [n for n in nodes if role[id(n)] == pyatspi.ROLE_PUSH_BUTTON]
    if len(texts) != 19 or len(lists) != 10:
        fail("expected 19 text boxes and 10 lists, found %d and %d" % (len(texts), len(lists)))

    # Names: present, distinct, and a list not named by one of its items.
    seen = {}
    for node in texts + lists + buttons:
        name = node.name
        if not name:
            fail("%s at %s has no name" % (node.getRoleName(), extents(node)))
            continue
        if name in seen:
            fail("two controls are both named %r" % name)
        seen[name] = node
    for node in lists:
        items = [i.name for i in walk(node)]
        if node.name in items:
            fail("list %r is named by one of its items" % node.name)

    # Each field of a group: "<group> <its label>", labelled by the label on
    # its row, which names it back.
    unit_names = set()
    for node in texts + lists:
        group = group_of(node)
        if group is None:
            unit_names.add(node.name)
            if node.name not in LABELLED_UNIT_BOXES:
                continue
        elif not node.name.startswith(group + " "):
            fail("%r lies in group %s" % (node.name, group))
        labels = targets(node, pyatspi.RELATION_LABELLED_BY)
        if len(labels) != 1 or labels[0].getRole() != pyatspi.ROLE_LABEL:
            fail("%r is not labelled by one label" % node.name)
            continue
        label = labels[0]
        box, lbox = extents(node), extents(label)
        if not (box.y <= lbox.y + lbox.height // 2 < box.y + box.height and lbox.x < box.x):
            fail("%r is labelled by %r, which is not beside it" % (node.name, label.name))
        if group is not None and node.name != group + " " + label.name.rstrip(COLONS):
            fail("%r does not say its label %r" % (node.name, label.name))
        if node not in targets(label, pyatspi.RELATION_LABEL_FOR):
            fail("label %r does not name %r back" % (label.name, node.name))
    if unit_names != UNIT_BOXES:
        fail("unit panel boxes are named %s" % sorted(unit_names))

    # The two preset buttons of each group say their group.
    for group in FORM_GROUPS:
        names = sorted(b.name for b in buttons if group_of(b) == group)
        if names != [group + " Load Preset", group + " Save Preset"]:
            fail("buttons of %s are named %s" % (group, names))

    # The connection state is read from the box that shows it.
    status = next((n for n in texts if n.name == "Connection state"), None)
    if status is None or wait_for_text(status, "Connected", 20) != "Connected":
        fail("the connection state does not read Connected")
    return seen


def main():
    binary = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="qvl-a11y-")
    env = dict(os.environ, XDG_RUNTIME_DIR=work)
    env.pop("NO_AT_BRIDGE", None)
    # The test display resets when its last client leaves (the previous
    # test's program): a program that starts in that moment finds no display
    # and ends at once, and is started again.
    app = None
    try:
        for _ in range(3):
            app = subprocess.Popen([binary, "--simulate"], cwd=work, env=env)
            window = find_window(app, 30)
            if window is not None or app.poll() is None:
                break
            time.sleep(1)
        if window is None:
            fail("the window did not appear in the accessibility tree")
        else:
            named = check(window)
            for name in sorted(named or {}):
                print("named:", name)
    finally:
        if app is not None:
            app.send_signal(signal.SIGKILL)
            app.wait()
        shutil.rmtree(work, ignore_errors=True)
    for text in failures:
        print("FAIL:", text)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
