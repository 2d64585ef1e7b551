#!/usr/bin/env bash
# Throughput of ZE710 next to the equalisers Debian ships as Linux VST 2
# plug-ins, measured the same way in one run: ze710-host bench at 48000 Hz,
# 512-frame blocks, three bands at non-zero gain each. Peers are loaded as
# black boxes through their entry point; missing ones are reported as such.
# Usage: tools/host/bench-peers.sh [BUILD_DIR]   (peers: lsp-plugins-vst,
# zam-plugins, dpf-plugins-vst; install them with apt-get to compare)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-${ZE710_BUILD_DIR:-$root/build}}
host="$build/tools/host/ze710-host"
common=(--rate 48000 --block 512 --seconds 2 --runs 7)

# name | module | settings (three bands boosted or cut)
peers=(
  "ZE710|$build/plugin/ze710.so|--param 0=0.8 --param 1=0.7 --param 3=0.3"
  "LSP Parametric Equalizer x16 Stereo (3 bands)|/usr/lib/vst/lsp-plugins/para-equalizer-x16-stereo.so|--param 13=0.68 --param 18=0.33 --param 19=0.6 --param 22=0.175 --param 27=0.58 --param 28=0.4 --param 31=0.43 --param 36=0.82 --param 37=0.6"
  "ZamEQ2|/usr/lib/vst/ZamEQ2-vst.so|--param 0=0.85 --param 3=0.55 --param 6=0.85 --param 8=0.55"
  "DISTRHO 3 Band EQ|/usr/lib/vst/3BandEQ-vst.so|--param 0=0.7 --param 1=0.3 --param 2=0.7"
)

printf '| plug-in | I/O | ns per frame (best) | ns per frame (median) | ns per stereo frame | x real time |\n'
printf '|---|---|---|---|---|---|\n'
for entry in "${peers[@]}"; do
  IFS='|' read -r name module settings <<<"$entry"
  if [ ! -e "$module" ]; then
    printf '| %s | - | not installed | | | |\n' "$name"
    continue
  fi
  # shellcheck disable=SC2086
  if ! line=$("$host" bench "$module" "${common[@]}" $settings 2>&1); then
    printf '| %s | - | failed: %s | | | |\n' "$name" "$line"
    continue
  fi
  io=$(sed -E 's/.* ([0-9]+)x([0-9]+) channels.*/\1x\2/' <<<"$line")
  best=$(sed -E 's/.*best ([0-9.]+) ns\/frame.*/\1/' <<<"$line")
  median=$(sed -E 's/.*median ([0-9.]+) ns\/frame.*/\1/' <<<"$line")
  rt=$(sed -E 's/.* ([0-9]+)x real time.*/\1/' <<<"$line")
  # A mono plug-in needs two instances for a stereo signal.
  outs=${io#*x}
  stereo=$(awk -v m="$median" -v o="$outs" 'BEGIN { printf "%.2f", (o < 2 ? 2 * m : m) }')
  printf '| %s | %s | %s | %s | %s | %s |\n' "$name" "$io" "$best" "$median" "$stereo" "$rt"
done
