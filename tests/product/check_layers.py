#!/usr/bin/env python3
"""Checks the module's source tree for the direction of its dependencies.

Layers, from the top: the exports (host/); core (core/) beside the routers
(routing/: the frame router, the socket service, the table of console
words), which call the subsystems; the subsystems (console/, protocol/,
master/, screenshot/, integrity/); the shared services: the channel to the
game server and the masters' wire (channel/), the player's output
(output/: module lines, the log file, the home folder, text files), the
player's settings (settings/) and the host-services wrappers (services/);
and util/ and platform/. A file may include headers of its own layer and
of the layers below, never of a layer above. Components (a header with the
source of the same name) must not include each other in a circle, and
folders do not either. Sibling subsystems do not include each other: when
one needs another to act, a router or core calls both. No file includes
another folder's state header (core's aggregate of them aside); what
others may read is a getter in the folder's public header. Only core
reaches the one state object, and only the cycle, the event queue and the
exports read the platform tick.

    check_layers.py SRC_DIR
    check_layers.py --plant SRC_DIR   # shows that planted faults fail
    check_layers.py --draw SRC_DIR    # the include graph by folder, as dot
"""
import os
import re
import sys

RANK = {"host": 4, "core": 3, "routing": 3, "console": 2, "protocol": 2, "master": 2, "screenshot": 2, "integrity": 2,
        "services": 1, "channel": 1, "output": 1, "settings": 1, "util": 0, "platform": 0}
SUBSYSTEMS = {"console", "protocol", "master", "screenshot", "integrity"}
AGGREGATE = "core/client_state.h"  # lays out every part's state
TICK_READERS = {"core/cycle.cpp", "core/main_work.cpp", "core/event_queue.cpp", "host/exports.cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(src, quiet=False, drawing=None):
    problems = []
    graph = {}
    folders = {}
    for folder, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(folder, name), src).replace(os.sep, "/")
            layer = path.split("/")[0]
            if layer not in RANK:
                problems.append(f"{path}: folder {layer}/ has no layer")
                continue
            text = open(os.path.join(folder, name), encoding="utf-8").read()
            if layer == "platform":
                continue  # the OS seam includes nothing of the module
            component = os.path.splitext(path)[0]
            edges = graph.setdefault(component, set())
            for included in INCLUDE.findall(text):
                if included.startswith("tallyguard/"):
                    continue
                target_layer = included.split("/")[0]
                if target_layer not in RANK:
                    problems.append(f"{path}: includes {included}, which is in no layer")
                    continue
                if RANK[target_layer] > RANK[layer]:
                    problems.append(f"{path}: includes {included}, a layer above {layer}/")
                crossing = target_layer != layer
                sibling = crossing and layer in SUBSYSTEMS and target_layer in SUBSYSTEMS
                foreign_state = crossing and included.endswith("_state.h") and path != AGGREGATE
                if sibling:
                    problems.append(f"{path}: includes {included}, a sibling subsystem's header")
                elif foreign_state:
                    problems.append(f"{path}: includes {included}, another folder's state")
                if crossing:
                    folders.setdefault(layer, set()).add(target_layer)
                target = os.path.splitext(included)[0]
                if target != component:
                    edges.add(target)
            if "Client()" in text and layer != "core":
                problems.append(f"{path}: reaches the one state object outside core/")
            if "PlatformTick(" in text and path not in TICK_READERS and layer != "platform":
                problems.append(f"{path}: reads the platform tick; time comes in as a value")

    # Circles: depth-first search with colours.
    colour = {}
    stack = []

    def visit(node):
        colour[node] = 1
        stack.append(node)
        for following in sorted(graph.get(node, ())):
            if colour.get(following) == 1:
                circle = stack[stack.index(following):] + [following]
                problems.append("include circle: " + " -> ".join(circle))
            elif colour.get(following) is None:
                visit(following)
        stack.pop()
        colour[node] = 2

    for node in sorted(graph):
        if colour.get(node) is None:
            visit(node)

    if drawing is not None:
        drawing.update(folders)

    # The same between folders.
    graph = folders
    colour = {}
    for node in sorted(graph):
        if colour.get(node) is None:
            visit(node)

    for problem in problems if not quiet else []:
        print("FAIL:", problem)
    if problems:
        return 1
    if not quiet:
        print("ok: includes run one way, no circles between components or folders, no sibling or foreign state includes")
    return 0


def plant(src):
    """Copies the tree, plants one fault at a time and expects each to fail."""
    import shutil
    import tempfile

    faults = [
        ("screenshot/png.cpp", '#include "master/schedule.h"\n'),        # a sibling subsystem
        ("master/schedule.cpp", '#include "protocol/protocol_state.h"\n'),  # another folder's state
        ("master/exchange.cpp", '#include "routing/frame_router.h"\n'),  # a layer above
        ("channel/framing.cpp", '#include "output/console.h"\n'),        # with the next, a folder circle
    ]
    circle_partner = ("output/text_file.cpp", '#include "channel/framing.h"\n')
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        for planted in [[faults[0]], [faults[1]], [faults[2]], [faults[3], circle_partner]]:
            tree = os.path.join(scratch, "src")
            shutil.rmtree(tree, ignore_errors=True)
            shutil.copytree(src, tree)
            if main(tree, quiet=True) != 0:
                print("FAIL: the tree fails before anything is planted")
                return 1
            for name, line in planted:
                with open(os.path.join(tree, name), "a", encoding="utf-8") as out:
                    out.write(line)
            if main(tree, quiet=True) == 0:
                print("FAIL: a planted include passed:", planted)
                failures += 1
            else:
                print("ok: caught", ", ".join(f"{line.strip()} in {name}" for name, line in planted))
    return 1 if failures else 0


def draw(src):
    """Prints the include graph by folder as Graphviz dot, layer by layer
    from the top, so that any arrow running back up stands out."""
    folders = {}
    status = main(src, quiet=True, drawing=folders)
    print("digraph folders {")
    print("  rankdir=TB; node [shape=box];")
    for rank in sorted(set(RANK.values()), reverse=True):
        same = " ".join(f'"{name}";' for name in sorted(RANK) if RANK[name] == rank)
        print(f"  {{ rank=same; {same} }}")
    for folder in sorted(folders):
        for target in sorted(folders[folder]):
            upward = RANK[target] > RANK[folder]
            print(f'  "{folder}" -> "{target}"' + (" [color=red];" if upward else ";"))
    print("}")
    return status


if __name__ == "__main__":
    if sys.argv[1] == "--plant":
        sys.exit(plant(sys.argv[2]))
    if sys.argv[1] == "--draw":
        sys.exit(draw(sys.argv[2]))
    sys.exit(main(sys.argv[1]))
