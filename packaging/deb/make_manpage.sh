#!/usr/bin/env bash
# Writes the manual page runvane(1), compressed, from the host's own
# --version and --help: a NAME and SYNOPSIS section and the help text as it
# is, so that the page says what the program says.
#
# usage: make_manpage.sh HOST-PROGRAM OUTPUT.1.gz
set -euo pipefail
host=$1 out=$2
version=$("$host" --version | head -n 1 | awk '{print $2}')
help=$("$host" --help)

# roff: backslashes doubled; a line starting with . or ' protected.
escape() { sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" -e 's/-/\\-/g'; }

{
  echo ".TH RUNVANE 1 \"\" \"runvane $version\" \"User Commands\""
  echo ".SH NAME"
  echo "runvane \\- check and repair the startup items of a Windows system"
  echo ".SH SYNOPSIS"
  echo ".B runvane"
  echo "[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]"
  echo ".SH DESCRIPTION"
  echo "runvane loads the Runvane module and drives its exports as a host"
  echo "application does. On Linux it works on a Windows system image laid"
  echo "out like a Wine prefix. Its output is a table for people, or JSON,"
  echo "JSON Lines or CSV for programs; the exit status says what happened."
  echo ".PP"
  echo ".nf"
  printf '%s\n' "$help" | escape
  echo ".fi"
  echo ".SH FILES"
  echo ".TP"
  echo ".I /usr/share/runvane/RunLib.xml"
  echo "the knowledge base the module classifies items by"
  echo ".SH SEE ALSO"
  echo "The header \\fI/usr/include/runvane.h\\fR for host programs."
} | gzip -9n >"$out"
