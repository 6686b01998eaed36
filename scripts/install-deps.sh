#!/usr/bin/env bash
# Installs the Debian packages named in the list file (one a line, # comments),
# skipping the apt run when every one is already installed.
set -euo pipefail
list=${1:-deps.txt}
mapfile -t packages < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$list" | grep -v '^$')
missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "Installing: ${missing[*]}"
# The whole list goes to apt, not only what is missing: a new package may
# conflict with one a listed package was installed with (jackd2's libjack
# against the other JACK's), and apt then picks the variant that keeps every
# listed package instead of removing one.
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${packages[@]}"
