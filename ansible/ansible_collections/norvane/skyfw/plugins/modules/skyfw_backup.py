#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Norvane
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: skyfw_backup
short_description: Back up the NVRAM of a node's Skyline adapters into package files
version_added: "1.0.0"
description:
  - Runs C(skyfw dump) on the managed node to write the NVRAM of one Norvane Skyline adapter, or of
    each, into a package file on the node. Such a file can be installed again with C(skyfw
    flash-pci).
  - With C(pci), C(path) is the backup file (or an existing folder to put it in); without, C(path)
    is a folder (made when missing) that receives one file per adapter, named after its PCI
    location, for example C(nvram-0000-03-00.0.pkg).
  - The host fails with the reason when a backup fails; backups written before the failure are
    reported.
extends_documentation_fragment:
  - norvane.skyfw.skyfw
author:
  - Norvane skyfw developers
options:
  firmware:
    description:
      - Firmware folder for the discovery that lists the adapters when C(pci) is not set.
      - When not set, C(skyfw) uses its installed firmware folder.
    type: path
  pci:
    description:
      - PCI location of the one adapter to back up (C(0000:03:00.0), C(03:00.0) or
        C(0000:03:00:0)). When not set, every adapter is backed up.
    type: str
  path:
    description:
      - Backup file (with C(pci)) or folder for the backup files (without C(pci)).
    type: path
    required: true
  force:
    description:
      - Write a backup also when its file exists already. When false, an existing file is kept
        and that adapter is reported as C(exists).
    type: bool
    default: true
notes:
  - Supports C(check_mode); nothing is written, and C(backups) lists what would be.
  - With C(force=true) every run writes, so the task reports C(changed) every time; run it only
    when an update is due (see the collection's rolling-update playbook).
seealso:
  - module: norvane.skyfw.skyfw_update
"""

EXAMPLES = r"""
- name: Back up every adapter before an update
  norvane.skyfw.skyfw_backup:
    path: /var/backups/skyfw/{{ ansible_date_time.date }}

- name: Back up one adapter into a given file
  norvane.skyfw.skyfw_backup:
    pci: "0000:03:00.0"
    path: /var/backups/skyfw/s2.pkg

- name: Keep the first backup of each adapter
  norvane.skyfw.skyfw_backup:
    path: /var/backups/skyfw/factory
    force: false
"""

RETURN = r"""
backups:
  description: One entry per adapter backed up (or that would be, in check mode).
  returned: always
  type: list
  elements: dict
  contains:
    pci:
      description: PCI location of the adapter.
      type: str
      sample: "0000:03:00.0"
    mac:
      description: MAC address; null when not known (with C(pci), before the backup ran).
      type: str
      sample: "02:0a:3b:1c:2d:4e"
    product:
      description: Product name; null when not known.
      type: str
    current_version:
      description: Firmware version on the adapter; null when not known.
      type: str
    file:
      description: Absolute path of the backup file.
      type: str
      sample: /var/backups/skyfw/nvram-0000-03-00.0.pkg
    status:
      description: C(written), C(failed), C(exists) (kept because C(force=false)),
        C(not_attempted) (an earlier backup failed) or C(would_write) in check mode.
      type: str
      sample: written
    code:
      description: The plug-in's backup status (0 written, negative failed); null when none ran.
      type: int
    cause:
      description: The plug-in's trace lines saying why the backup failed.
      type: list
      elements: str
      returned: when status is C(failed)
files:
  description: The backup files written by this run.
  returned: always
  type: list
  elements: str
"""

import os

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.norvane.skyfw.plugins.module_utils.skyfw_cli import (
    SkyfwError,
    SkyfwRunner,
    adapters_of,
    common_argument_spec,
)


def backup_file_name(pci):
    """A file name for an adapter's backup that is safe on every file system."""
    return "nvram-%s.pkg" % pci.replace(":", "-")


def unknown_adapter(pci):
    return dict(pci=pci, mac=None, product=None, current_version=None)


def targets(module, runner):
    """(adapter, file) for each backup to take."""
    path = module.params["path"]
    pci = module.params["pci"]
    if pci:
        target = os.path.join(path, backup_file_name(pci)) if os.path.isdir(path) else path
        return [(unknown_adapter(pci), target)]
    if os.path.exists(path) and not os.path.isdir(path):
        module.fail_json(msg="path %s is not a folder; without pci it receives one backup file "
                             "per adapter" % path)
    seen = set()
    found = []
    for adapter in adapters_of(runner.discover()):
        location = adapter.get("pci")
        # A prepared request may list one device twice; back it up once.
        if not location or location in seen:
            continue
        seen.add(location)
        known = dict(pci=location, mac=adapter.get("mac"), product=adapter.get("product"),
                     current_version=adapter.get("current_version"))
        found.append((known, os.path.join(path, backup_file_name(location))))
    return found


def backed_up(adapter, target, document, error):
    """The entry for one dump run, from skyfw's answer or its failure."""
    entry = dict(adapter, file=os.path.abspath(target), code=None)
    answered = adapters_of(document or {})
    if answered:
        for key in ("mac", "product", "current_version"):
            if answered[0].get(key) is not None:
                entry[key] = answered[0][key]
        backup = answered[0].get("backup")
        if isinstance(backup, dict):
            entry["code"] = backup.get("code")
            if isinstance(backup.get("cause"), list):
                entry["cause"] = backup["cause"]
    if error is not None and entry["code"] is None:
        entry["code"] = error.result_code
    if error is not None and "cause" not in entry and isinstance((error.error or {}).get(
            "cause"), list):
        entry["cause"] = error.error["cause"]
    entry["status"] = "failed" if error is not None else "written"
    return entry


def main():
    argument_spec = common_argument_spec()
    argument_spec.update(
        pci=dict(type="str"),
        path=dict(type="path", required=True),
        force=dict(type="bool", default=True),
    )
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    runner = SkyfwRunner(module)
    try:
        planned = targets(module, runner)
    except SkyfwError as error:
        module.fail_json(changed=False, **error.fail_fields())

    backups = []
    failure = None
    for adapter, target in planned:
        if failure is not None:
            backups.append(dict(adapter, file=os.path.abspath(target), code=None,
                                status="not_attempted"))
            continue
        if os.path.exists(target) and not module.params["force"]:
            backups.append(dict(adapter, file=os.path.abspath(target), code=None,
                                status="exists"))
            continue
        if module.check_mode:
            backups.append(dict(adapter, file=os.path.abspath(target), code=None,
                                status="would_write"))
            continue
        folder = os.path.dirname(os.path.abspath(target))
        if not os.path.isdir(folder):
            try:
                os.makedirs(folder)
            except OSError as exc:
                module.fail_json(msg="cannot make the backup folder %s: %s" % (folder, exc),
                                 changed=False, backups=backups,
                                 files=[b["file"] for b in backups if b["status"] == "written"])
        try:
            document = runner.run(["dump"], [target, "--pci", adapter["pci"]])
            backups.append(backed_up(adapter, target, document, None))
        except SkyfwError as error:
            failure = error
            backups.append(backed_up(adapter, target, error.document, error))

    files = [backup["file"] for backup in backups if backup["status"] == "written"]
    would = [backup for backup in backups if backup["status"] == "would_write"]
    result = dict(changed=bool(files or would), backups=backups, files=files)
    if failure is not None:
        fields = failure.fail_fields()
        fields.update(result)
        module.fail_json(**fields)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
