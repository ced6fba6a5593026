#!/usr/bin/env python3
"""Checks the module's source tree for the direction of its dependencies.

Layers, from the top: the exports (host/), core (core/), the subsystems
(console/, protocol/, master/, screenshot/, integrity/), the channel to the
game server and the masters' wire (channel/) and the player's output
(output/: module lines, the log file, the home folder, text files) and the
player's settings (settings/) beside
the host-services wrappers (services/), and util/ and platform/. A file may include headers of
its own layer and of the layers below, never of a layer above. Components
(a header with the source of the same name) must not include each other in
a circle. Only core reaches the one state object, and only the cycle, the
event queue and the exports read the platform tick.

    check_layers.py SRC_DIR
"""
import os
import re
import sys

RANK = {"host": 4, "core": 3, "console": 2, "protocol": 2, "master": 2, "screenshot": 2, "integrity": 2,
        "services": 1, "channel": 1, "output": 1, "settings": 1, "util": 0, "platform": 0}
TICK_READERS = {"core/cycle.cpp", "core/main_work.cpp", "core/event_queue.cpp", "host/exports.cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(src):
    problems = []
    graph = {}
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

    for problem in problems:
        print("FAIL:", problem)
    if problems:
        return 1
    print(f"ok: {len(graph)} components, includes run one way, no circles")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
