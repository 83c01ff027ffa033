#!/usr/bin/env bash
# scripts/check-desktop-files must fail, naming the fault, on each fault of the table below, and
# pass on the tree as it is. Each case runs on a fresh copy of the files the check reads.
# Usage: check_desktop_files_faults.sh [TOP_DIRECTORY]
set -uo pipefail
top=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
check=$top/scripts/check-desktop-files
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

copy_tree() {
  rm -rf "$work/tree"
  mkdir -p "$work/tree"
  (cd "$top" && cp -r --parents desktop terminal/app/command_line.h monitor/app/command_line.cpp \
     drivers/command_line.cpp terminal/app/qt/CMakeLists.txt monitor/app/qt/CMakeLists.txt \
     drivers/CMakeLists.txt "$work/tree/")
}

status=0
copy_tree
if ! out=$("$check" "$work/tree" 2>&1); then
  echo "FAIL: the unchanged tree does not pass:"$'\n'"$out"
  status=1
fi

# file (in the tree) <TAB> sed program that puts the fault in <TAB> what the message must say
faults=$(cat <<'TABLE'
desktop/man/halvo2.1	$a .XY undefined macro	halvo2.1: groff
desktop/man/seltra2.1	$a a stray \\q escape	seltra2.1: groff
desktop/man/halvo2.1	/^\.B \/MAX$/d	option /MAX is not described
desktop/man/portcountd.8	s/^\.BI \\-\\-device\\-dir " dir"$/.BI \\-\\-device " dir"/	option --device-dir is not described
drivers/command_line.cpp	s/arg == "--foreground"/arg == "--verbose"/	option --verbose is not described
monitor/app/command_line.cpp	s/"\/ZENITH"/"\/ZENITH2"/	option /ZENITH2 is not described
desktop/man/seltra2.1	/^\.SH ENVIRONMENT$/d	no ENVIRONMENT section
desktop/com.quenby.Halvo2.desktop	s/^Categories=.*/Categories=Nonsense;/	desktop-file-validate
desktop/com.quenby.Seltra2.desktop	/^Type=/d	desktop-file-validate
desktop/com.quenby.Halvo2.desktop	s/^Exec=halvo2/Exec=halvo3/	Exec=halvo3 is no program
desktop/com.quenby.Seltra2.desktop	s/^Icon=.*/Icon=seltra9/	Icon=seltra9 has no
desktop/com.quenby.Seltra2.metainfo.xml	/<summary>/d	appstreamcli validate
desktop/com.quenby.Halvo2.metainfo.xml	s/<metadata_license>.*</<metadata_license>Nonsense-1.0</	appstreamcli validate
desktop/com.quenby.Halvo2.metainfo.xml	s/>com.quenby.Halvo2.desktop</>com.quenby.Other.desktop</	launchable com.quenby.Other.desktop
desktop/com.quenby.Seltra2.metainfo.xml	s/<id>com.quenby.Seltra2</<id>com.quenby.Seltra3</	its id is com.quenby.Seltra3
desktop/CMakeLists.txt	s/ com.quenby.Seltra2.metainfo.xml//	com.quenby.Seltra2.metainfo.xml is not installed
TABLE
)
cases=0
while IFS=$'\t' read -r file program expected; do
  cases=$((cases + 1))
  copy_tree
  before=$(cat "$work/tree/$file")
  sed -i -e "$program" "$work/tree/$file"
  if [ "$before" = "$(cat "$work/tree/$file")" ]; then
    echo "FAIL: '$program' changed nothing in $file"
    status=1
    continue
  fi
  out=$("$check" "$work/tree" 2>&1)
  code=$?
  if [ "$code" -ne 1 ]; then
    echo "FAIL: $file with '$program': exit code $code, not 1:"$'\n'"$out"
    status=1
  elif ! grep -qF -- "$expected" <<<"$out"; then
    echo "FAIL: $file with '$program': the message lacks '$expected':"$'\n'"$out"
    status=1
  fi
done <<<"$faults"
echo "check_desktop_files_faults: $cases faults"
exit "$status"
