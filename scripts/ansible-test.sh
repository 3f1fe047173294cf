#!/usr/bin/env bash
# ansible-test.sh BUILD_DIR [HOSTS]: tests the Ansible collection norvane.skyfw.
# Runs the modules' unit tests, checks ansible-doc, builds and installs the
# collection, then drives its rolling-update playbook with ansible-playbook
# against HOSTS (default 20) local hosts, each with its own simulated machine
# made by BUILD_DIR/bin/skyfw: facts gathered, a check-mode run that changes
# nothing, the update, a second run with changed=0 on every host, backups
# written; and one host whose firmware refuses the install fails with the
# reason. SKYFW_ANSIBLE_FORKS sets the parallel hosts (default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:?usage: ansible-test.sh BUILD_DIR [HOSTS]}" && pwd)
hosts=${2:-20}
skyfw=$build/bin/skyfw
e2e=$PWD/ansible/tests/e2e
[[ -x $skyfw ]] || { echo "ansible-test: no $skyfw" >&2; exit 1; }
command -v ansible-playbook >/dev/null || { echo "ansible-test: ansible-core missing" >&2; exit 1; }
# The Python that runs Ansible (and has its module_utils), not any other one.
python=$(sed -n '1s/^#! *//p' "$(command -v ansible-playbook)")
python=${python%% *}
started=$SECONDS

step() { echo "ansible-test: $* ($((SECONDS - started))s, load $(cut -d' ' -f1 /proc/loadavg))"; }

step "unit tests"
"$python" -m unittest discover -s ansible/tests/unit -t ansible/tests/unit

work=$(mktemp -d)
# The logs of a failed run stay for a look.
trap 'if [[ $? -eq 0 ]]; then rm -rf "$work"; else echo "ansible-test: logs in $work" >&2; fi' EXIT
export ANSIBLE_CONFIG=$work/ansible.cfg ANSIBLE_HOME=$work/home
export ANSIBLE_COLLECTIONS_PATH=$work/collections ANSIBLE_LOCAL_TEMP=$work/tmp
export ANSIBLE_FORKS=${SKYFW_ANSIBLE_FORKS:-10} ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0
export ANSIBLE_REMOTE_TMP=$work/remote-tmp ANSIBLE_PIPELINING=1
: >"$ANSIBLE_CONFIG"

step "ansible-doc from the source tree"
(cd ansible && env -u ANSIBLE_COLLECTIONS_PATH ANSIBLE_CONFIG=ansible.cfg \
  ansible-doc norvane.skyfw.skyfw_update) | grep "allow_reinstall" >/dev/null

step "collection built and installed"
ansible-galaxy collection build ansible/ansible_collections/norvane/skyfw \
  --output-path "$work" >/dev/null
ansible-galaxy collection install "$work"/norvane-skyfw-*.tar.gz -p "$work/collections" \
  >/dev/null
for module in skyfw_info skyfw_update skyfw_backup; do
  # The shared options come from the collection's documentation fragment.
  doc=$(ansible-doc "norvane.skyfw.$module")
  grep "RETURN VALUES" <<<"$doc" >/dev/null
  grep "SKYFW_MACHINE" <<<"$doc" >/dev/null
done

step "$hosts simulated machines and one that refuses installs"
{
  echo "[fleet]"
  for ((n = 1; n <= hosts; n++)); do
    name=$(printf 'node%02d' "$n")
    "$skyfw" sim init "$work/machines/$name" >/dev/null
    echo "$name skyfw_machine=$work/machines/$name"
  done
  echo "[faulty]"
  echo "refusing skyfw_machine=$work/machines/refusing"
  echo "[all:vars]"
  echo "ansible_connection=local"
  echo "ansible_python_interpreter=$python"
  echo "skyfw_program=$skyfw"
  echo "skyfw_firmware=$build/bin/firmware"
  echo "skyfw_backup_dir=$work/backups/{{ inventory_hostname }}"
} >"$work/inventory"
"$skyfw" sim init "$work/machines/refusing" >/dev/null
# The firmware of the second adapter refuses every install.
"$python" - "$work/machines/refusing/machine.json" <<'EOF'
import json, sys
path = sys.argv[1]
machine = json.load(open(path))
machine["adapters"][1].setdefault("faults", {})["install_refusal"] = {"result": 7}
json.dump(machine, open(path, "w"), indent=2)
EOF

playbook() {  # playbook LOG ARGS...: ansible-playbook, its output kept in LOG
  local log=$1
  shift
  if ! ansible-playbook -i "$work/inventory" "$@" >"$work/$log" 2>&1; then
    cat "$work/$log"
    return 1
  fi
}
recap() { "$python" "$e2e/recap.py" "$work/$1" --hosts "$hosts" "${@:2}" || {
  cat "$work/$1"
  return 1
}; }
report_outcomes() {  # report_outcomes FILE OUTCOME: every host of the report has OUTCOME
  "$python" - "$1" "$2" "$hosts" <<'EOF'
import json, sys
report = json.load(open(sys.argv[1]))
wrong = {h: r.get("outcome") for h, r in report.items() if r.get("outcome") != sys.argv[2]}
if len(report) != int(sys.argv[3]) or wrong:
    sys.exit("report: %d host(s), not %s: %s" % (len(report), sys.argv[2], wrong))
EOF
}
update=(norvane.skyfw.rolling_update -e skyfw_hosts=fleet -e skyfw_batch=50%)

step "facts gathered"
playbook facts.log "$e2e/fleet_state.yml" -e expect=fresh
recap facts.log --changed 0

step "check-mode run"
playbook check.log "${update[@]}" --check -e "skyfw_report_file=$work/check.json"
recap check.log --changed-min 1
report_outcomes "$work/check.json" "would update"
playbook after-check.log "$e2e/fleet_state.yml" -e expect=fresh

step "update"
playbook update.log "${update[@]}" -e "skyfw_report_file=$work/update.json"
recap update.log --changed-min 2
report_outcomes "$work/update.json" "updated"

step "second run"
playbook again.log "${update[@]}" -e "skyfw_report_file=$work/again.json"
recap again.log --changed 0
report_outcomes "$work/again.json" "unchanged"

step "updated and backed up"
playbook after-update.log "$e2e/fleet_state.yml" -e expect=updated
backup=$(find "$work/backups/node01" -name 'nvram-0000-03-00.0.pkg')
"$skyfw" pkg inspect "$backup" >/dev/null

step "an install the firmware refuses fails its host"
if ansible-playbook -i "$work/inventory" norvane.skyfw.rolling_update -e skyfw_hosts=faulty \
  >"$work/faulty.log" 2>&1; then
  cat "$work/faulty.log"
  echo "ansible-test: the refused install did not fail the host" >&2
  exit 1
fi
"$python" "$e2e/recap.py" "$work/faulty.log" --hosts 1 --host-failed refusing ||
  { cat "$work/faulty.log"; exit 1; }
grep -q "firmware update failed: 0000:05:00.0: " "$work/faulty.log" ||
  { cat "$work/faulty.log"; echo "ansible-test: no reason for the failure" >&2; exit 1; }

step "all green"
