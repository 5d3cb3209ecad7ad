"""The source tree keeps its layers: src/core includes only core (and system
or third-party headers), src/draw includes nothing of src/app, no circle
runs among the modules' includes, and no file of src/, web/ or python/ is
longer than 450 lines but those WAITING names. Prints each breach on a line of its own and exits 1
when there is one. Usage: layers.py SOURCE_DIR"""
import os
import re
import sys

LONGEST = 450
# Files past LONGEST that wait for a split, with why they wait: each must
# still be too long, so that the list shrinks as they are split.
WAITING = {}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
# Which folders of src/ each folder may include from.
REACHES = {"core": {"core"}, "draw": {"core", "draw"}, "app": {"core", "draw", "app"}}


def module(path):
    """A file's module, "app/panel" for src/app/panel_picture.cpp: its
    folder and the noun its name starts with, header and sources alike."""
    folder, name = os.path.split(path)
    return f"{os.path.basename(folder)}/{os.path.splitext(name)[0].split('_')[0]}"


def includes(source):
    """Each file of src/ (as "app/panel.cpp") with what it includes from src/."""
    found = {}
    for folder in REACHES:
        for name in sorted(os.listdir(os.path.join(source, "src", folder))):
            with open(os.path.join(source, "src", folder, name), encoding="utf-8") as f:
                found[f"{folder}/{name}"] = [i for i in INCLUDE.findall(f.read()) if i.split("/")[0] in REACHES]
    return found


def circle(graph):
    """A circle of the graph (a dict of each node to the nodes it reaches)
    as its nodes in order, or None when it has none."""
    state, path = {}, []

    def visit(node):
        state[node] = "open"
        path.append(node)
        for next_node in sorted(graph.get(node, ())):
            if state.get(next_node) == "open":
                return path[path.index(next_node):] + [next_node]
            if next_node not in state:
                found = visit(next_node)
                if found:
                    return found
        state[node] = "done"
        path.pop()
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def breaches(source):
    """Every breach of the layers in the tree at source, as lines."""
    lines = []
    graph = {}
    for name, included in includes(source).items():
        folder = name.split("/")[0]
        for header in included:
            if header.split("/")[0] not in REACHES[folder]:
                lines.append(f"src/{name} includes {header}: {folder} reaches only {', '.join(sorted(REACHES[folder]))}")
            if module(header) != module(name):
                graph.setdefault(module(name), set()).add(module(header))
    found = circle(graph)
    if found:
        lines.append("a circle of includes: " + " -> ".join(found))
    for top in ("src", "web", "python"):
        for folder, _, names in os.walk(os.path.join(source, top)):
            for name in sorted(names):
                if os.path.splitext(name)[1] not in (".h", ".cpp", ".js", ".html", ".css", ".py"):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as f:
                    count = sum(1 for _ in f)
                name = os.path.relpath(path, source)
                if count > LONGEST and name not in WAITING:
                    lines.append(f"{name} has {count} lines, more than {LONGEST}")
                elif count <= LONGEST and name in WAITING:
                    lines.append(f"{name} has {count} lines: take it off the files waiting for a split")
    return lines


def main():
    found = breaches(sys.argv[1])
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
