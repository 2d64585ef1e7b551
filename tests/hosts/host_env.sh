# Sourced by the real-host tests: a private, self-cleaning world for a
# third-party host run.
#
# Every host writes caches and settings under $HOME and the XDG folders, so
# all of them point into one temporary folder that is removed on exit. Every host command runs under
# timeout(1), so nothing the test started outlives it. A fresh copy of the plug-in
# lives there with an mtime in the past: Ardour treats a scan-cache entry as
# stale unless the plug-in file is older than the cache file, and a copy made
# in the same second as the scan would never count as scanned.
#
# Functions: need_file PATH (skips the test, exit 77, when a host is not
# installed), install_plugin SRC (a VST 2 module, a CLAP module, an LV2
# bundle folder or a VST3 bundle folder *.vst3, which goes to ~/.vst3 where
# Ardour looks by default; sets $plugin_dir and $plugin), fail MSG.

set -euo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/ze710-hosts.XXXXXX")
cleanup() {
    local rc=$?
    rm -rf "$work"
    exit "$rc"
}
trap cleanup EXIT

export HOME="$work/home"
export XDG_CACHE_HOME="$work/cache"
export XDG_CONFIG_HOME="$work/config"
export XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Only the folder of the plug-in under test may be searched (install_plugin
# sets it): every other plug-in path points at an empty folder. That also
# spares each Ardour process a scan of the system's LV2 world, about 2 s.
mkdir -p "$work/none"
export VST_PATH="$work/none" VST3_PATH="$work/none" LADSPA_PATH="$work/none" LV2_PATH="$work/none" LXVST_PATH="$work/none"
export CLAP_PATH="$work/none"
export LC_ALL=C

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

need_file() {
    if [ ! -e "$1" ]; then
        echo "SKIP: $1 is not installed (tools/setup-debian.sh installs it)"
        exit 77
    fi
}

install_plugin() {
    if [ -d "$1" ] && [ "${1%.vst3}" != "$1" ]; then  # a VST3 bundle, found in ~/.vst3
        export plugin_dir="$HOME/.vst3" plugin="$HOME/.vst3/$(basename "$1")"
        mkdir -p "$plugin_dir" && cp -r "$1" "$plugin"
        find "$plugin" -exec touch -h -d '-2 minutes' {} +
        return
    fi
    if [ -d "$1" ]; then  # an LV2 bundle, found through LV2_PATH
        export LV2_PATH="$work/lv2" plugin_dir="$work/lv2" plugin="$work/lv2/$(basename "$1")"
        mkdir -p "$plugin_dir" && cp -r "$1" "$plugin" && return
    fi
    if [ "${1##*.}" = clap ]; then  # a CLAP module, found through CLAP_PATH
        export CLAP_PATH="$work/clap" plugin_dir="$work/clap" plugin="$work/clap/ze710.clap"
        mkdir -p "$plugin_dir" && cp "$1" "$plugin" && touch -d '-2 minutes' "$plugin" && return
    fi
    plugin_dir="$work/vst"
    plugin="$plugin_dir/ze710.so"
    mkdir -p "$plugin_dir"
    cp "$1" "$plugin"
    touch -d '-2 minutes' "$plugin"
    export LXVST_PATH="$plugin_dir"
}
