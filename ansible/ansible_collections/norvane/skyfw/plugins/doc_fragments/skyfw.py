# -*- coding: utf-8 -*-
# Copyright: Norvane
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    # The options every skyfw module takes: how to reach skyfw and its machine.
    DOCUMENTATION = r"""
options:
  skyfw:
    description:
      - The C(skyfw) program on the managed node, a name looked up in C(PATH) or a path.
    type: str
    default: skyfw
  machine:
    description:
      - Simulated machine folder to use (passed as C(--machine), the same as C(SKYFW_MACHINE)).
      - When not set, C(skyfw) uses C(SKYFW_MACHINE) from the task's environment, or its default.
    type: path
requirements:
  - skyfw on the managed node (its C(--json) output, schema 1)
"""
