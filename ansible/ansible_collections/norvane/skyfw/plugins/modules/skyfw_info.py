#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Norvane
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: skyfw_info
short_description: Gather the Skyline adapters of a node and the firmware proposed for each
version_added: "1.0.0"
description:
  - Runs C(skyfw discover) on the managed node and returns every Norvane Skyline adapter with
    its current firmware version, the package the firmware folder or catalogue proposes for it,
    that package's version and the action an update would take.
  - The adapters are also set as the host fact C(skyfw_adapters).
  - A node on which discovery finds no supported adapter gets an empty list, not a failure.
  - Reads only; safe in check mode.
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
notes:
  - Supports C(check_mode); it changes nothing in either mode.
seealso:
  - module: norvane.skyfw.skyfw_update
  - module: norvane.skyfw.skyfw_backup
"""

EXAMPLES = r"""
- name: Gather the adapters and their proposed firmware
  norvane.skyfw.skyfw_info:
    firmware: /srv/firmware/skyline

- name: Show the adapters an update would upgrade
  ansible.builtin.debug:
    msg: "{{ skyfw_adapters | selectattr('action', 'equalto', 'upgrade') | map(attribute='pci') | list }}"

- name: On a simulated machine
  norvane.skyfw.skyfw_info:
    machine: /var/lib/skyfw/machine
  environment:
    NO_COLOR: "1"
"""

RETURN = r"""
adapters:
  description: The adapters, one per adapter that discovery reports.
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
      sample: Norvane Skyline S2 Dual Port 25GbE
    current_version:
      description: Firmware version on the adapter; null when it has none.
      type: str
      sample: "21.6.2"
    package:
      description: File name of the package proposed for the adapter; null when none applies.
      type: str
      sample: skyline-s2-21.8.0.pkg
    package_version:
      description: Version of that package; null when none applies.
      type: str
      sample: "21.8.0"
    action:
      description: What installing the package would be, C(upgrade), C(downgrade) or C(rewrite);
        null when no package applies.
      type: str
      sample: upgrade
ansible_facts:
  description: Facts set on the host.
  returned: always
  type: dict
  contains:
    skyfw_adapters:
      description: The same list as C(adapters).
      type: list
      elements: dict
firmware:
  description: The firmware folder that discovery used.
  returned: always
  type: str
  sample: /usr/share/skyfw/firmware
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.norvane.skyfw.plugins.module_utils.skyfw_cli import (
    RESULT_NO_ADAPTER,
    SkyfwError,
    SkyfwRunner,
    adapter_view,
    adapters_of,
    common_argument_spec,
)


def main():
    module = AnsibleModule(argument_spec=common_argument_spec(), supports_check_mode=True)
    runner = SkyfwRunner(module)
    try:
        document = runner.discover()
    except SkyfwError as error:
        # No adapter on this node is an answer, not a failure of the task.
        if error.kind == "no_device" and error.result_code == RESULT_NO_ADAPTER:
            module.exit_json(changed=False, adapters=[], firmware=runner.firmware,
                             ansible_facts=dict(skyfw_adapters=[]))
        module.fail_json(**error.fail_fields())
    adapters = [adapter_view(adapter) for adapter in adapters_of(document)]
    module.exit_json(changed=False, adapters=adapters,
                     firmware=document.get("firmware", runner.firmware),
                     ansible_facts=dict(skyfw_adapters=adapters))


if __name__ == "__main__":
    main()
