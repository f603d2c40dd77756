"""The test session's hooks.

With PELMORA_MODULES_USED set, the session writes there the file of every
module it loaded (numpy, pytest, pyhamtools, the module under test, ...), one
a line, for tools/check-packages.py to map to the packages they come from.
"""

import os
import sys


def pytest_sessionfinish(session):
    path = os.environ.get("PELMORA_MODULES_USED")
    if not path:
        return
    files = sorted({os.path.abspath(f) for m in list(sys.modules.values())
                    if isinstance(f := getattr(m, "__file__", None), str)})
    with open(path, "w", encoding="utf-8") as out:
        out.writelines(f + "\n" for f in files)
