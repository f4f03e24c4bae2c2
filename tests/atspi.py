# SPDX-License-Identifier: MIT
# The program as a screen reader sees it over AT-SPI: shared by the tests
# that look at it or press its buttons that way.
import sys
import time

import pyatspi


def application(name='tambrel'):
    # At most 20 s: a first start on a fresh machine is slow.
    for _ in range(200):
        for a in pyatspi.Registry.getDesktop(0):
            if a is not None and a.name == name:
                return a
        time.sleep(0.1)
    sys.exit(f'no application "{name}" on the accessibility bus')


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def find(root, name):
    for n in walk(root):
        if n.name == name:
            return n
    sys.exit(f'nothing named {name!r}')


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if 'Press' not in names:
        sys.exit(f'{node.name!r} offers no press, only {names}')
    action.doAction(names.index('Press'))
