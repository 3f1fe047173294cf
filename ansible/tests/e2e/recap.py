"""Checks the PLAY RECAP of an ansible-playbook run.

    recap.py OUTPUT --hosts N [--changed 0 | --changed-min 1] [--failed 0] [--host-failed H]

Every host of the recap must be reachable; exactly N hosts must be listed;
each must have the given counts. Exit 1 naming the hosts that do not."""

import argparse
import re
import sys

LINE = re.compile(r"^(\S+)\s+:\s+((?:\w+=\d+\s*)+)$")


def read_recap(text):
    """{host: {counter: value}} from the last PLAY RECAP of a run's output."""
    start = text.rfind("PLAY RECAP")
    if start < 0:
        raise ValueError("no PLAY RECAP in the output")
    hosts = {}
    for line in text[start:].splitlines()[1:]:
        match = LINE.match(line.strip())
        if match:
            hosts[match.group(1)] = {key: int(value) for key, value in
                                     re.findall(r"(\w+)=(\d+)", match.group(2))}
    return hosts


def check(hosts, expected_hosts, changed=None, changed_min=None, failed=0, host_failed=()):
    problems = []
    if len(hosts) != expected_hosts:
        problems.append("%d host(s) in the recap, expected %d" % (len(hosts), expected_hosts))
    for host, counts in sorted(hosts.items()):
        want_failed = 1 if host in host_failed else failed
        if counts.get("unreachable", 0) != 0:
            problems.append("%s: unreachable=%d" % (host, counts["unreachable"]))
        if counts.get("failed", 0) != want_failed:
            problems.append("%s: failed=%d, expected %d" % (host, counts["failed"], want_failed))
        if host in host_failed:
            continue
        if changed is not None and counts.get("changed") != changed:
            problems.append("%s: changed=%d, expected %d" % (host, counts["changed"], changed))
        if changed_min is not None and counts.get("changed", 0) < changed_min:
            problems.append("%s: changed=%d, expected at least %d"
                            % (host, counts["changed"], changed_min))
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--hosts", type=int, required=True)
    parser.add_argument("--changed", type=int)
    parser.add_argument("--changed-min", type=int)
    parser.add_argument("--failed", type=int, default=0)
    parser.add_argument("--host-failed", action="append", default=[])
    options = parser.parse_args()
    with open(options.output, encoding="utf-8", errors="replace") as handle:
        hosts = read_recap(handle.read())
    problems = check(hosts, options.hosts, options.changed, options.changed_min,
                     options.failed, options.host_failed)
    for problem in problems:
        print("recap: %s" % problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
