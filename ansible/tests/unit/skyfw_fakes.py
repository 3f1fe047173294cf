"""Runs the collection's modules in-process against a scripted skyfw: each
run of skyfw is answered from a list of (rc, stdout, stderr), and its
command line is recorded."""

import contextlib
import json
import os
import stat
import sys
import tempfile
from unittest import mock

ANSIBLE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
if ANSIBLE_DIR not in sys.path:
    sys.path.insert(0, ANSIBLE_DIR)

from ansible.module_utils import basic  # noqa: E402
from ansible.module_utils.common import warnings as module_warnings  # noqa: E402
from ansible.module_utils.common.text.converters import to_bytes  # noqa: E402


class ModuleExit(Exception):
    def __init__(self, result, failed):
        super().__init__(result.get("msg", ""))
        self.result = result
        self.failed = failed


def document(command, exit_code=0, error=None, **fields):
    """A skyfw --json document of schema 1."""
    answer = {"schema_version": 1, "command": command, "ok": exit_code == 0,
              "exit_code": exit_code}
    if error is not None:
        answer["error"] = error
    answer.update(fields)
    return answer


def adapter(pci, current="21.6.2", package_version="21.8.0", action="upgrade", install=None,
            version_after=None, **extra):
    entry = {"pci": pci, "mac": "02:0a:3b:00:00:%s" % pci[-4:-2], "product": "Skyline S2",
             "current_version": current,
             "package": "skyline-%s.pkg" % package_version if package_version else None,
             "package_version": package_version, "action": action}
    if install is not None:
        entry["install"] = install
    if version_after is not None:
        entry["version_after"] = version_after
    entry.update(extra)
    return entry


def installed(pci, current="21.6.2", new="21.8.0"):
    """An adapter that flash installed and whose new version read back."""
    return adapter(pci, current, new, install={"status": "installed", "code": 1},
                   version_after=new, in_place=True, pending_reboot=True)


def answer(rc, value, stderr=""):
    """One scripted run: a document (dumped) or raw text on standard output."""
    stdout = value if isinstance(value, str) else json.dumps(value) + "\n"
    return (rc, stdout, stderr)


class ScriptedSkyfw:
    """Stands in for AnsibleModule.run_command."""

    def __init__(self, answers):
        self.answers = list(answers)
        self.calls = []
        self.folders = []

    def __call__(self, module, argv, **kwargs):
        self.calls.append(list(argv))
        self.folders.append(kwargs.get("cwd"))
        if not self.answers:
            raise AssertionError("skyfw run more often than scripted: %s" % argv)
        return self.answers.pop(0)

    def commands(self):
        """The command word of each run (after skyfw's global options)."""
        words = []
        for argv in self.calls:
            rest = argv[2:]
            if rest[:1] == ["--machine"]:
                rest = rest[2:]
            words.append(rest[0])
        return words


@contextlib.contextmanager
def node():
    """A scratch folder holding an executable stand-in for the skyfw program."""
    with tempfile.TemporaryDirectory() as folder:
        program = os.path.join(folder, "skyfw")
        with open(program, "w") as handle:
            handle.write("#!/bin/sh\nexit 99\n")
        os.chmod(program, stat.S_IRWXU)
        yield folder, program


def run_module(main, args, answers, check_mode=False, tmpdir=None):
    """Runs one module's main(); returns (result, failed, scripted skyfw)."""
    skyfw = ScriptedSkyfw(answers)
    owned = None
    if tmpdir is None:
        owned = tempfile.TemporaryDirectory()
        tmpdir = owned.name
    params = dict(args)
    params.update(_ansible_check_mode=check_mode, _ansible_tmpdir=tmpdir,
                  _ansible_remote_tmp=tmpdir, _ansible_keep_remote_files=False)

    def leave(failed):
        def exit_method(module, **result):
            result.setdefault("failed", failed)
            result["warnings"] = list(module_warnings.get_warning_messages())
            raise ModuleExit(result, failed)
        return exit_method

    basic._ANSIBLE_ARGS = to_bytes(json.dumps({"ANSIBLE_MODULE_ARGS": params}))
    module_warnings._global_warnings[:] = []
    try:
        # A plain function, so that it binds to the module as the method does.
        def run_command(module, argv, **kwargs):
            return skyfw(module, argv, **kwargs)

        with mock.patch.object(basic.AnsibleModule, "run_command", run_command), \
                mock.patch.object(basic.AnsibleModule, "exit_json", leave(False)), \
                mock.patch.object(basic.AnsibleModule, "fail_json", leave(True)):
            try:
                main()
            except ModuleExit as done:
                return done.result, done.failed, skyfw
            raise AssertionError("the module returned without exit_json or fail_json")
    finally:
        basic._ANSIBLE_ARGS = None
        if owned is not None:
            owned.cleanup()
