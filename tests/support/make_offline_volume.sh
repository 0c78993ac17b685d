#!/usr/bin/env bash
# Builds an offline Windows volume for the tests, as a rescue system shows a
# mounted Windows partition: SOFTWARE with Run values in both registry views,
# an MSConfig record and a ProfileList of two users, SYSTEM with the session
# environment, the users alice and bob (Users\) with an NTUSER.DAT each,
# Default (no user), startup folders with files, and programs with version
# resources.
#
# The hives are made with libhivex's hivexsh from an empty base hive: a real
# user hive (tests/fixtures/hives/plaso-NTUSER-RunTests.DAT.xz) with every
# key of its root deleted.
#
# usage: make_offline_volume.sh VOLUME FIXTURES-FOLDER HIVES-FOLDER
set -eu
volume=$1 fixtures=$2 hives=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-volume.XXXXXX")
trap 'rm -rf "$work"' EXIT

xz -dc "$hives/plaso-NTUSER-RunTests.DAT.xz" >"$work/source"
{
  hivexsh "$work/source" <<<'ls' | while IFS= read -r key; do printf 'cd %s\ndel\n' "$key"; done
  echo "commit $work/base"
} >"$work/empty.script"
hivexsh -w "$work/source" -f "$work/empty.script"

# make HIVE SCRIPT: the base hive with the keys and values of the script
# (hivexsh commands run at the root).
make() {
  cp "$work/base" "$work/edit"
  { cat "$2"; echo "commit $1"; } >"$work/script"
  hivexsh -w "$work/edit" -f "$work/script"
}
# keys PATH...: hivexsh lines that go down a path from the root and leave its
# last key current; a name written +NAME is made first.
keys() {
  echo 'cd \'
  local name
  for name in "$@"; do
    case $name in
      +*) printf 'add %s\ncd %s\n' "${name#+}" "${name#+}" ;;
      *) printf 'cd %s\n' "$name" ;;
    esac
  done
}

mkdir -p "$volume/Windows/System32/config" "$volume/Program Files/Tools" "$volume/Program Files (x86)/Old" \
  "$volume/ProgramData/Microsoft/Windows/Start Menu/Programs/Startup" "$volume/Users/Default"
cp "$fixtures/normal.exe" "$volume/Program Files/Tools/normal.exe"
cp "$fixtures/searched.exe" "$volume/Program Files (x86)/Old/old.exe"
cp "$fixtures/long_company.exe" "$volume/ProgramData/Microsoft/Windows/Start Menu/Programs/Startup/common.exe"

{
  keys +Microsoft +Windows +CurrentVersion
  printf 'setval 2\nProgramFilesDir\nstring:C:\\Program Files\nCommonFilesDir\nstring:C:\\Program Files\\Common Files\n'
  printf 'add Run\ncd Run\nsetval 2\nToolsAgent\nstring:"C:\\Program Files\\Tools\\normal.exe" /background\n'
  printf 'Missing Helper\nexpandstring:%%ProgramFiles%%\\Gone\\helper.exe\n'
  keys Microsoft Windows CurrentVersion +Explorer "+User Shell Folders"
  printf 'setval 1\nCommon Startup\nexpandstring:%%ProgramData%%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\n'
  keys Microsoft "+Windows NT" +CurrentVersion
  printf 'setval 1\nSystemRoot\nstring:C:\\Windows\n'
  printf 'add ProfileList\ncd ProfileList\nsetval 3\nProfilesDirectory\nexpandstring:%%SystemDrive%%\\Users\n'
  printf 'ProgramData\nexpandstring:%%SystemDrive%%\\ProgramData\nPublic\nexpandstring:%%SystemDrive%%\\Users\\Public\n'
  printf 'add S-1-5-18\ncd S-1-5-18\nsetval 1\nProfileImagePath\nexpandstring:%%systemroot%%\\system32\\config\\systemprofile\ncd ..\n'
  printf 'add S-1-5-21-1-2-3-1001\ncd S-1-5-21-1-2-3-1001\nsetval 1\nProfileImagePath\nexpandstring:%%SystemDrive%%\\Users\\alice\ncd ..\n'
  printf 'add S-1-5-21-1-2-3-1002\ncd S-1-5-21-1-2-3-1002\nsetval 1\nProfileImagePath\nstring:C:\\Users\\bob\n'
  # An item switched off by the system's own configuration tool.
  keys Microsoft "+Shared Tools" +MSConfig +startupreg +OldTray
  printf 'setval 4\nitem\nstring:OldTray\ncommand\nstring:C:\\Program Files\\Tools\\normal.exe /tray\n'
  printf 'hkey\nstring:HKLM\nkey\nstring:SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\n'
  keys +Wow6432Node +Microsoft +Windows +CurrentVersion +Run
  printf 'setval 1\nOldAgent\nstring:C:\\Program Files (x86)\\Old\\old.exe\n'
} >"$work/software.script"
make "$volume/Windows/System32/config/SOFTWARE" "$work/software.script"

{
  keys +Select
  printf 'setval 2\nCurrent\ndword:0x00000002\nDefault\ndword:0x00000002\n'
  keys +ControlSet001 +Control "+Session Manager" +Environment
  printf 'setval 1\nVOLUME_SET\nstring:stale\n'
  keys +ControlSet002 +Control "+Session Manager" +Environment
  printf 'setval 3\nVOLUME_SET\nstring:current\nwindir\nexpandstring:%%SystemRoot%%\n'
  printf 'Path\nexpandstring:%%SystemRoot%%\\system32;%%SystemRoot%%\n'
} >"$work/system.script"
make "$volume/Windows/System32/config/SYSTEM" "$work/system.script"

# user NAME RUN-NAME RUN-DATA: a profile with a Run value and a file in its
# startup folder.
user() {
  local startup="$volume/Users/$1/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup"
  mkdir -p "$startup"
  cp "$fixtures/other_code_page.exe" "$startup/$1-start.exe"
  {
    keys +Software +Microsoft +Windows +CurrentVersion +Run
    printf 'setval 1\n%s\nstring:%s\n' "$2" "$3"
    keys Software Microsoft Windows CurrentVersion +Explorer "+User Shell Folders"
    printf 'setval 1\nStartup\nexpandstring:%%USERPROFILE%%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\n'
    keys +Environment
    printf 'setval 1\nUSER_MARK\nexpandstring:%%USERPROFILE%%\\mark\n'
  } >"$work/$1.script"
  make "$volume/Users/$1/NTUSER.DAT" "$work/$1.script"
}
user alice AliceSync 'C:\Program Files\Tools\normal.exe'
user bob BobUpdater 'C:\Users\bob\AppData\Local\bob.exe'
cp "$volume/Users/alice/NTUSER.DAT" "$volume/Users/Default/NTUSER.DAT"
