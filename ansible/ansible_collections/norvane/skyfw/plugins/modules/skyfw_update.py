#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Norvane
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: skyfw_update
short_description: Install the proposed firmware on a node's Skyline adapters
version_added: "1.0.0"
description:
  - Runs C(skyfw flash) on the managed node, which discovers the Norvane Skyline adapters and installs
    on each the package that the firmware folder or catalogue proposes, one adapter at a time.
  - Upgrades are installed. An adapter whose proposed package has its current version (action
    C(rewrite)) is left alone unless C(allow_reinstall) is set; one whose package is older
    (action C(downgrade)) unless C(allow_older) is set. A second run therefore installs nothing
    and reports C(changed=false).
  - C(changed) is true only when a package was installed on at least one adapter.
  - The host fails with the reason (the plug-in's result and the cause lines from its trace)
    when an installation fails; adapters installed before the failure are still reported, and
    C(changed) then says whether any was.
  - Each installed adapter's version is read back; an installation whose adapter then reports
    another version than the package's fails the host.
  - New firmware takes effect at the next reboot; C(reboot_required) says when one is due.
    This module does not reboot.
extends_documentation_fragment:
  - norvane.skyfw.skyfw
author:
  - Norvane skyfw developers
options:
  firmware:
    description:
      - Firmware folder holding the package files, or a catalogue C(NICFWData.xml) with them.
      - When not set, C(skyfw) uses its installed firmware folder.
    type: path
  allow_reinstall:
    description:
      - Also install a package whose version is already on the adapter (action C(rewrite)).
      - Such an installation reports C(changed) on every run.
    type: bool
    default: false
  allow_older:
    description:
      - Also install a package older than the adapter's firmware (action C(downgrade)).
    type: bool
    default: false
  skip:
    description:
      - Adapters to leave alone, each a PCI location (C(0000:03:00.0), C(03:00.0) or the discovery
        document's C(0000:03:00:0)), a MAC address with or without colons, or C(all).
      - An entry that matches no adapter fails the task and installs nothing.
    type: list
    elements: str
    default: []
notes:
  - Supports C(check_mode) as a dry run (C(skyfw flash --dry-run)); nothing is installed, and
    C(changed) says whether a real run would install something.
seealso:
  - module: norvane.skyfw.skyfw_info
  - module: norvane.skyfw.skyfw_backup
"""

EXAMPLES = r"""
- name: Install the proposed upgrades
  norvane.skyfw.skyfw_update:
    firmware: /srv/firmware/skyline
  register: update

- name: Tell when a reboot is due
  ansible.builtin.debug:
    msg: "{{ inventory_hostname }} needs a reboot for its new adapter firmware"
  when: update.reboot_required

- name: What would be installed (changes nothing)
  norvane.skyfw.skyfw_update:
    firmware: /srv/firmware/skyline
  check_mode: true
  register: plan

- name: Go back to an older release, leaving one adapter alone
  norvane.skyfw.skyfw_update:
    firmware: /srv/firmware/skyline-previous
    allow_older: true
    skip:
      - "0000:05:00.0"
"""

RETURN = r"""
adapters:
  description: Every adapter that discovery reports, with what happened to it.
  returned: always
  type: list
  elements: dict
  contains:
    pci:
      description: PCI location, C(SEG:BUS:DEV.FN) in lower-case hexadecimal.
      type: str
      sample: "0000:03:00.0"
    mac:
      description: MAC address, lower-case pairs joined by colons; null when none is reported.
      type: str
      sample: "02:0a:3b:1c:2d:4e"
    product:
      description: Product name as the adapter reports it.
      type: str
    current_version:
      description: Firmware version on the adapter before the run.
      type: str
      sample: "21.6.2"
    package:
      description: Package file proposed for the adapter; null when none applies.
      type: str
      sample: skyline-s2-21.8.0.pkg
    package_version:
      description: That package's version; null when none applies.
      type: str
      sample: "21.8.0"
    action:
      description: C(upgrade), C(downgrade), C(rewrite), or null when no package applies.
      type: str
    status:
      description:
        - C(installed), C(failed), C(package_not_found), C(skipped), C(not_attempted) (the run
          stopped before this adapter), or C(would_install) in check mode.
      type: str
      sample: installed
    reason:
      description: Why the adapter was skipped (for example C(rewrite needs --allow-reinstall)).
      type: str
      returned: when status is C(skipped)
    code:
      description: The plug-in's status for the installation (1 installed, 106 failed); null when
        none was attempted.
      type: int
    cause:
      description: The plug-in's trace lines saying why an installation failed.
      type: list
      elements: str
      returned: when status is C(failed) or C(package_not_found)
    version_after:
      description: Version read back from the adapter after the run; null when it could not be
        read.
      type: str
      returned: when not in check mode
    in_place:
      description: The installation succeeded and the adapter reports the package's version.
      type: bool
      returned: when not in check mode
    pending_reboot:
      description: New firmware is in place on this adapter and takes effect at the next reboot.
      type: bool
      returned: when not in check mode
installed:
  description: PCI locations of the adapters installed by this run (in check mode, those that
    would be).
  returned: always
  type: list
  elements: str
  sample: ["0000:03:00.0", "0000:05:00.0"]
reboot_required:
  description: Some adapter has new firmware that takes effect at the next reboot, also when
    another adapter failed.
  returned: always
  type: bool
result:
  description: The plug-in's result for the whole run, C(code) and C(text).
  returned: when not in check mode
  type: dict
  sample: {"code": 1, "text": "The installation of the deliverable was successful. A reboot is required for the deliverable to be enabled."}
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.norvane.skyfw.plugins.module_utils.skyfw_cli import (
    SkyfwError,
    SkyfwRunner,
    adapter_view,
    adapters_of,
    common_argument_spec,
)

# Install statuses that fail the host.
FAILED_STATUSES = ("failed", "package_not_found", "not_attempted")


def adapter_outcome(adapter, dry_run):
    """One adapter of skyfw flash's answer, as the module returns it."""
    view = adapter_view(adapter)
    install = adapter.get("install")
    install = install if isinstance(install, dict) else {}
    view["status"] = install.get("status")
    view["code"] = install.get("code")
    if install.get("status") == "skipped":
        view["reason"] = install.get("reason")
    if isinstance(install.get("cause"), list):
        view["cause"] = install["cause"]
    if not dry_run:
        view["version_after"] = adapter.get("version_after")
        view["in_place"] = adapter.get("in_place") is True
        view["pending_reboot"] = adapter.get("pending_reboot") is True
    return view


def outcome_problems(outcomes):
    """Why the run failed the host, one sentence per adapter; empty when it did not."""
    problems = []
    for outcome in outcomes:
        status = outcome["status"]
        if status in FAILED_STATUSES:
            detail = status.replace("_", " ")
            if outcome.get("code") is not None:
                detail += " (status %s)" % outcome["code"]
            if outcome.get("cause"):
                detail += ": %s" % " | ".join(str(line).strip() for line in outcome["cause"])
            problems.append("%s: %s" % (outcome["pci"], detail))
        elif status == "installed" and outcome.get("version_after") is not None \
                and not outcome.get("in_place"):
            problems.append("%s: installed %s but the adapter reports %s"
                            % (outcome["pci"], outcome.get("package_version"),
                               outcome.get("version_after")))
    return problems


def flash_args(runner, params, dry_run):
    args = ["--document", runner.scratch("request.xml")] + runner.firmware_args()
    if params["allow_reinstall"]:
        args.append("--allow-reinstall")
    if params["allow_older"]:
        args.append("--allow-older")
    for entry in params["skip"]:
        args += ["--skip", entry]
    if dry_run:
        args.append("--dry-run")
    return args


def main():
    argument_spec = common_argument_spec()
    argument_spec.update(
        allow_reinstall=dict(type="bool", default=False),
        allow_older=dict(type="bool", default=False),
        skip=dict(type="list", elements="str", default=[]),
    )
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    runner = SkyfwRunner(module)
    dry_run = module.check_mode

    error = None
    try:
        document = runner.run(["flash"], flash_args(runner, module.params, dry_run))
    except SkyfwError as failure:
        # A flash that partly failed still lists its adapters; anything
        # else failed before installing and is reported as it stands.
        if not adapters_of(failure.document or {}):
            module.fail_json(changed=False, **failure.fail_fields())
        error, document = failure, failure.document

    outcomes = [adapter_outcome(adapter, dry_run) for adapter in adapters_of(document)]
    done = "would_install" if dry_run else "installed"
    installed = [outcome["pci"] for outcome in outcomes if outcome["status"] == done]
    result = dict(
        changed=bool(installed),
        adapters=outcomes,
        installed=installed,
        reboot_required=document.get("reboot_required") is True,
    )
    if not dry_run and isinstance(document.get("result"), dict):
        result["result"] = document["result"]

    problems = outcome_problems(outcomes)
    if error is not None or problems:
        fields = error.fail_fields() if error is not None else {}
        fields.update(result)
        if problems:
            fields["msg"] = "firmware update failed: %s" % "; ".join(problems)
        module.fail_json(**fields)
    for outcome in outcomes:
        if outcome["status"] == "installed" and outcome.get("version_after") is None:
            module.warn("%s: installed, but its version could not be read back" % outcome["pci"])
    module.exit_json(**result)


if __name__ == "__main__":
    main()
