#!/usr/bin/env bash
# make_man_page.sh SKYFW VERSION OUT.gz: skyfw(1) in roff, gzipped, made from
# the program's own --help texts (the one source of its options), with the
# sections a man page needs around them.
set -euo pipefail
skyfw=$1
version=$2
out=$3
mkdir -p "$(dirname "$out")"

# Help text as literal roff: backslashes escaped, no line starting with a
# control character.
literal() {
  sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
}

commands="discover flash flash-pci dump info text version"
pkg_commands="inspect verify build make-image make-vpd"
sim_commands="init show events"

# Help goes through a pipe: no terminal, so no colour and a fixed layout.
help() { "$skyfw" "$@" --help 2>&1 | literal; }

{
  cat <<ROFF
.TH SKYFW 1 "" "skyfw $version" "User Commands"
.SH NAME
skyfw \\- firmware updates for Norvane Skyline network adapters
.SH SYNOPSIS
.B skyfw
[\\fIGLOBAL OPTIONS\\fR] \\fICOMMAND\\fR [\\fIOPTIONS\\fR]
.SH DESCRIPTION
.B skyfw
drives the firmware-update plug-in
.B libskyfw.so
as a server vendor's update host does: it finds the adapters and the
firmware packages that apply to them, installs packages (one adapter at a
time, reading the versions back afterwards), backs an adapter's NVRAM up
into a package, and makes, inspects and verifies packages.
On Linux the adapters are those of a simulated machine
(\\fB\\-\\-machine\\fR, \\fBSKYFW_MACHINE\\fR).
.PP
With \\fB\\-\\-json\\fR every run prints exactly one JSON document on standard
output, failures included, with one error shape.
.SH GLOBAL OPTIONS
.nf
ROFF
  help
  echo ".fi"
  echo ".SH COMMANDS"
  for command in $commands; do
    echo ".SS skyfw $command"
    echo ".nf"
    help "$command"
    echo ".fi"
  done
  for command in $pkg_commands; do
    echo ".SS skyfw pkg $command"
    echo ".nf"
    help pkg "$command"
    echo ".fi"
  done
  for command in $sim_commands; do
    echo ".SS skyfw sim $command"
    echo ".nf"
    help sim "$command"
    echo ".fi"
  done
  cat <<'ROFF'
.SH EXIT STATUS
.TP
.B 0
Success, also when a reboot is required (the output says so).
.TP
.B 1
The operation ran and failed.
.TP
.B 2
Bad command line, including a \fB\-\-pci\fR or \fB\-\-skip\fR value that is
malformed or matches no adapter, and a downgrade or reinstall not allowed.
.TP
.B 3
The plug-in cannot be loaded or lacks an entry point.
.TP
.B 4
No supported adapter found, or the adapter library did not start.
.TP
.B 5
Firmware folder, package file or machine not found.
.TP
.B 6
Discovery or request document unusable.
.TP
.B 7
Installation or backup failed.
.SH ENVIRONMENT
.TP
.B SKYFW_MACHINE
The simulated machine's folder (as \fB\-\-machine\fR).
.TP
.B NO_COLOR
When set and not empty, no colour even on a terminal.
.SH FILES
.TP
.I share/skyfw/firmware
The demo firmware, used when \fB\-\-fw\fR is not given.
.TP
.I share/skyfw/dev_signing_private.pem
The development signing key, used by \fBpkg make-image\fR without
\fB\-\-key\fR (with a warning: it is published and protects nothing).
.SH EXAMPLES
.nf
skyfw sim init /tmp/m
skyfw \-\-machine /tmp/m discover
skyfw \-\-machine /tmp/m flash \-\-dry\-run \-\-skip 0000:05:00.0
skyfw \-\-machine /tmp/m \-\-json flash
.fi
.SH SEE ALSO
.BR fwupdmgr (1)
ROFF
} | gzip -9n >"$out.partial"
mv "$out.partial" "$out"
