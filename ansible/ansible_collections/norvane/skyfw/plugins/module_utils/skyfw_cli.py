# -*- coding: utf-8 -*-
# Copyright: Norvane
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)
"""Runs the node's ``skyfw --json`` and turns its one JSON document into
either the document or a ``SkyfwError`` that a module reports with
``fail_json``. Shared by every module of the collection."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os

# Exit codes of skyfw and the error kind each one stands for.
EXIT_KINDS = {
    1: "failed",
    2: "usage",
    3: "plugin",
    4: "no_device",
    5: "not_found",
    6: "document",
    7: "install_failed",
}

# The version of skyfw's JSON output this collection reads.
SCHEMA_VERSION = 1

# The plug-in's result when discovery found no supported adapter (the
# other "no_device" results mean the adapter library did not start).
RESULT_NO_ADAPTER = 102


def common_argument_spec():
    """Options every module takes: where skyfw is, which machine, which firmware."""
    return dict(
        skyfw=dict(type="str", default="skyfw"),
        machine=dict(type="path"),
        firmware=dict(type="path"),
    )


class SkyfwError(Exception):
    """A run of skyfw that failed, with what Ansible users want to see of it."""

    def __init__(self, msg, rc=None, stdout="", stderr="", command=None, document=None):
        super(SkyfwError, self).__init__(msg)
        self.msg = msg
        self.rc = rc
        self.stdout = stdout
        self.stderr = stderr
        self.command = command
        # The parsed document, when there was one: a partly failed flash still
        # says which adapters were installed.
        self.document = document

    @property
    def error(self):
        """The document's error object, normalised to a dict (or None)."""
        if not isinstance(self.document, dict):
            return None
        error = self.document.get("error")
        if isinstance(error, dict):
            return error
        if error is not None:
            return {"message": str(error)}
        return None

    @property
    def kind(self):
        error = self.error or {}
        kind = error.get("kind")
        if isinstance(kind, str) and kind:
            return kind
        return EXIT_KINDS.get(self.rc, "failed")

    @property
    def result_code(self):
        error = self.error or {}
        result = error.get("result")
        if isinstance(result, dict) and isinstance(result.get("code"), int):
            return result["code"]
        return None

    def fail_fields(self):
        """Keyword arguments for ``module.fail_json``."""
        fields = dict(msg=self.msg, rc=self.rc, stdout=self.stdout, stderr=self.stderr,
                      skyfw_command=self.command, error_kind=self.kind)
        if self.error is not None:
            fields["skyfw_error"] = self.error
        return fields


def _text(value):
    return value if isinstance(value, str) else ""


def error_message(command, document, rc):
    """One sentence for a failed run: the error's message, the plug-in's
    result and the cause lines of the trace, when skyfw gives them."""
    label = "skyfw %s" % " ".join(command) if command else "skyfw"
    error = document.get("error") if isinstance(document, dict) else None
    if isinstance(error, dict):
        message = _text(error.get("message")) or "failed (%s)" % EXIT_KINDS.get(rc, "failed")
        result = error.get("result")
        if isinstance(result, dict) and result.get("code") is not None:
            text = _text(result.get("text"))
            detail = "result %s" % result.get("code")
            if text and text not in message:
                detail += ": %s" % text
            message += " (%s)" % detail
        cause = error.get("cause")
        if isinstance(cause, list) and cause:
            message += "; cause: %s" % " | ".join(str(line).strip() for line in cause)
    elif isinstance(error, str) and error:
        message = error
    else:
        message = "failed with exit code %s (%s)" % (rc, EXIT_KINDS.get(rc, "failed"))
    return "%s: %s" % (label, message)


def parse_output(command, rc, stdout, stderr):
    """The JSON document of one run, or SkyfwError.

    skyfw prints exactly one JSON object on standard output and exits 0 only
    on success; anything else is reported with the run's rc and output."""
    label = "skyfw %s" % " ".join(command) if command else "skyfw"
    text = stdout.strip() if stdout else ""
    if not text:
        reason = stderr.strip().splitlines()[-1] if stderr and stderr.strip() else "no output"
        raise SkyfwError("%s printed no JSON (exit code %s): %s" % (label, rc, reason),
                         rc=rc, stdout=stdout, stderr=stderr, command=command)
    try:
        document = json.loads(text)
    except ValueError as exc:
        raise SkyfwError("%s printed output that is not JSON (exit code %s): %s"
                         % (label, rc, exc), rc=rc, stdout=stdout, stderr=stderr,
                         command=command)
    if not isinstance(document, dict):
        raise SkyfwError("%s printed JSON that is not an object (exit code %s)" % (label, rc),
                         rc=rc, stdout=stdout, stderr=stderr, command=command)
    # The exit code decides; "ok" and "error" only have to agree with it. A
    # document claiming success with a failing exit code is a failure.
    failed = rc != 0 or document.get("ok") is False or "error" in document
    if failed:
        raise SkyfwError(error_message(command, document, rc), rc=rc, stdout=stdout,
                         stderr=stderr, command=command, document=document)
    # A skyfw without the versioned output would be misread (an older one
    # also reinstalls what is already in place), so it is refused outright.
    schema = document.get("schema_version")
    if type(schema) is not int or schema != SCHEMA_VERSION:
        raise SkyfwError("%s answered in JSON schema %s; this collection reads schema %d "
                         "(update skyfw or the collection)" % (label, schema, SCHEMA_VERSION),
                         rc=rc, stdout=stdout, stderr=stderr, command=command,
                         document=document)
    return document


class SkyfwRunner:
    """Runs skyfw on the managed node for one module."""

    def __init__(self, module):
        self.module = module
        self.binary = self._find_binary(module.params["skyfw"])
        self.machine = module.params.get("machine")
        self.firmware = module.params.get("firmware")

    def _find_binary(self, name):
        if os.sep in name:
            if os.path.isfile(name) and os.access(name, os.X_OK):
                return name
            self.module.fail_json(msg="skyfw program %s not found or not executable" % name)
        found = self.module.get_bin_path(name, required=False)
        if found is None:
            self.module.fail_json(msg="skyfw program %s not found in PATH; set the skyfw "
                                      "option to its path" % name)
        return found

    def scratch(self, name):
        """A path in the module's temporary folder for a document skyfw writes."""
        return os.path.join(self.module.tmpdir, name)

    def firmware_args(self):
        return ["--fw", self.firmware] if self.firmware else []

    def argv(self, args):
        argv = [self.binary, "--json"]
        if self.machine:
            argv += ["--machine", self.machine]
        return argv + list(args)

    def run(self, command, args=()):
        """The document of ``skyfw --json COMMAND ARGS``; raises SkyfwError."""
        # Run in the scratch folder so that nothing skyfw writes by default
        # lands in the remote user's working directory.
        rc, stdout, stderr = self.module.run_command(
            self.argv(list(command) + list(args)), cwd=self.module.tmpdir,
            environ_update={"NO_COLOR": "1"})
        return parse_output(list(command), rc, stdout, stderr)

    def discover(self):
        """The discovery document: every adapter with its proposed package."""
        return self.run(["discover"],
                        ["--output", self.scratch("discovery.xml")] + self.firmware_args())


def adapters_of(document):
    adapters = document.get("adapters")
    return adapters if isinstance(adapters, list) else []


def adapter_view(adapter):
    """The fields of an adapter that the modules return, with stable names."""
    return dict(
        pci=adapter.get("pci"),
        mac=adapter.get("mac"),
        product=adapter.get("product"),
        current_version=adapter.get("current_version"),
        package=adapter.get("package"),
        package_version=adapter.get("package_version"),
        action=adapter.get("action"),
    )
