#!/usr/bin/env bash
# Installs the Debian packages of the named lists in scripts/packages/ that are missing:
#   scripts/install-deps.sh [build] [test] [package]     (no list: build and test)
# Idempotent and quiet: when everything is there it only checks and returns.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=(build test)

wanted=()
for list in "${lists[@]}"; do
    file="$here/packages/$list.txt"
    [ -f "$file" ] || { echo "install-deps.sh: no package list $file" >&2; exit 2; }
    mapfile -t -O "${#wanted[@]}" wanted < <(grep -v '^\s*#' "$file" | grep -v '^\s*$')
done

# One dpkg-query for all of them: a package that is not installed is missing.
missing=()
mapfile -t installed < <(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${wanted[@]}" 2>/dev/null |
    awk '$1 == "ii" {print $2}')
for package in "${wanted[@]}"; do
    [[ " ${installed[*]} " == *" $package "* ]] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
