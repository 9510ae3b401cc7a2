# shellcheck shell=bash
# Shared helpers for running Windows builds under Wine in a throw-away prefix.
#
# Source this file from bash (`. scripts/lib/wine.sh`); it defines functions only and changes
# nothing until they are called. Every wait is bounded, and the cleanup touches only what these
# functions started or mounted: its own Xvfb (by PID), its own tmpfs mounts and the wineserver
# of its own prefix.
#
#   wine_host_adapt               Ask scripts/lib/wine-host whether 32-bit Wine is usable: set
#                                 WINE_X86_SKIP to why not ("" when it is), and on a host that runs
#                                 no 32-bit programs put the 64-bit-only Wine launchers first on
#                                 PATH. Callers skip the 32-bit build's runs, naming WINE_X86_SKIP.
#                                 wine_env_init calls it.
#   wine_env_init [PARENT]        Make a temp dir (under PARENT, default $TMPDIR or /tmp), export
#                                 WINE_TMP, WINEPREFIX=$WINE_TMP/pfx, WINEDEBUG=-all and
#                                 WINEDLLOVERRIDES="mscoree,mshtml=", and install wine_cleanup as
#                                 the EXIT trap (before any existing EXIT trap's commands); INT,
#                                 TERM and HUP then exit through it.
#   wine_prefix_create            wineboot -i the fresh prefix, set HKCU\Software\Wine\X11 Driver
#                                 Managed=N (no 2 s wait on every hide), start the services detached.
#   wine_services_start           Start the wineserver (persistent) and the background services with
#                                 their output on /dev/null, so no later capture inherits a pipe.
#   wine_server_restart           wineserver -k, wait, then wine_services_start. Needed after drive
#                                 changes: drives are read when the wineserver starts.
#   wine_xvfb_start               Start Xvfb on a free display, wait for xdpyinfo, export DISPLAY;
#                                 WINE_XVFB_PID holds its PID.
#   wine_run TIMEOUT PROG [ARGS]  Run `wine PROG ARGS` with stdin from /dev/null, killed after
#                                 TIMEOUT seconds; returns its exit code (124 on timeout).
#   wine_reg_add KEY VALUE TYPE DATA [VIEW]
#                                 `wine reg add` one value; VIEW is 64 (default) or 32.
#   wine_reg_delete KEY VALUE [VIEW]
#                                 `wine reg delete` one value; a missing value is not an error.
#   wine_set_version VERSION      Set the Windows version Wine reports (nt40, win98, win7, win10...);
#                                 "default" removes the setting (Wine then reports 6.1).
#   wine_tmpfs_mount DIR BYTES    mkdir DIR and mount a tmpfs of BYTES (a multiple of 4096) on it;
#                                 unmounted by wine_cleanup. Fails (non-zero) where mounting is not
#                                 allowed; callers then use a plain folder.
#   wine_drive_add LETTER DIR [LABEL] [SERIAL] [TYPE]
#                                 Point drive LETTER: at DIR (which need not exist), write LABEL to
#                                 DIR/.windows-label and SERIAL (hex, e.g. 0BADF00D) to
#                                 DIR/.windows-serial when given and DIR exists, and set TYPE (hd,
#                                 cdrom, floppy, network) in HKLM\Software\Wine\Drives. Call
#                                 wine_server_restart after the last drive change.
#   wine_cleanup                  Kill the prefix's wineserver, stop our Xvfb, unmount our tmpfs
#                                 mounts and remove WINE_TMP. Safe to call twice.
#
# Tunables: WINE_BOOT_TIMEOUT (s, default 180), WINE_REG_TIMEOUT (s, default 60).

WINE_BOOT_TIMEOUT=${WINE_BOOT_TIMEOUT:-180}
WINE_REG_TIMEOUT=${WINE_REG_TIMEOUT:-60}
WINE_XVFB_PID=""
WINE_MOUNTS=()
WINE_X86_SKIP=""

wine__log() { printf '[wine] %s\n' "$*" >&2; }

wine_host_adapt() {
  local verdict launchers
  verdict=$(bash "$(dirname "${BASH_SOURCE[0]}")/wine-host") || return 1
  # shellcheck disable=SC2034 # read by the scripts that source this file
  WINE_X86_SKIP=$(sed -n 1p <<<"$verdict")
  launchers=$(sed -n 2p <<<"$verdict")
  if [ -n "$launchers" ]; then
    case ":$PATH:" in *":$launchers:"*) ;; *) export PATH="$launchers:$PATH" ;; esac
  fi
}

wine_env_init() {
  local parent=${1:-${TMPDIR:-/tmp}}
  wine_host_adapt || return 1
  WINE_TMP=$(mktemp -d "$parent/tarnvik-wine.XXXXXX") || return 1
  export WINE_TMP
  export WINEPREFIX="$WINE_TMP/pfx"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local previous
  previous=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
  # shellcheck disable=SC2064
  trap "wine_cleanup; ${previous:-:}" EXIT
  # A signal ends the script through exit, so the EXIT trap cleans up then too.
  trap 'exit 130' INT TERM HUP
}

wine_services_start() {
  timeout 30 wineserver -p </dev/null >/dev/null 2>&1 || true
  # wineboot without -i starts the services (explorer, services, plugplay...) and returns;
  # they inherit /dev/null, not any pipe of ours.
  timeout "$WINE_BOOT_TIMEOUT" wine wineboot </dev/null >/dev/null 2>&1
}

wine_server_restart() {
  timeout 30 wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
  wine_services_start
}

wine_prefix_create() {
  [ -n "${WINEPREFIX:-}" ] || { wine__log "wine_env_init first"; return 1; }
  local started=$SECONDS
  if ! timeout "$WINE_BOOT_TIMEOUT" wineboot -i </dev/null >"$WINE_TMP/wineboot.log" 2>&1; then
    wine__log "wineboot -i failed or timed out; see $WINE_TMP/wineboot.log"
    return 1
  fi
  wine_services_start || return 1
  wine_reg_add 'HKCU\Software\Wine\X11 Driver' Managed REG_SZ N || return 1
  wine__log "prefix ready in $((SECONDS - started)) s: $WINEPREFIX"
}

wine_run() {
  local limit=$1
  shift
  timeout --kill-after=10 "$limit" wine "$@" </dev/null
}

wine_reg_add() {
  local key=$1 value=$2 type=$3 data=$4 view=${5:-64}
  timeout "$WINE_REG_TIMEOUT" wine reg add "$key" /v "$value" /t "$type" /d "$data" /f "/reg:$view" \
    </dev/null >/dev/null 2>&1
}

wine_reg_delete() {
  local key=$1 value=$2 view=${3:-64}
  timeout "$WINE_REG_TIMEOUT" wine reg delete "$key" /v "$value" /f "/reg:$view" </dev/null >/dev/null 2>&1 || true
}

wine_set_version() {
  if [ "$1" = default ]; then
    wine_reg_delete 'HKCU\Software\Wine' Version
  else
    wine_reg_add 'HKCU\Software\Wine' Version REG_SZ "$1"
  fi
}

wine_xvfb_start() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$WINE_TMP/xvfb.log" 2>&1 &
    WINE_XVFB_PID=$!
    local _
    for _ in $(seq 1 100); do
      if timeout 5 xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$WINE_XVFB_PID" 2>/dev/null || break  # lost the race for this display
      sleep 0.1
    done
    kill "$WINE_XVFB_PID" 2>/dev/null
    wait "$WINE_XVFB_PID" 2>/dev/null
    WINE_XVFB_PID=""
  done
  wine__log "no Xvfb display could be started"
  return 1
}

wine_tmpfs_mount() {
  local dir=$1 bytes=$2
  mkdir -p "$dir" || return 1
  mount -t tmpfs -o "size=$bytes" none "$dir" 2>/dev/null || return 1
  WINE_MOUNTS+=("$dir")
}

wine_drive_add() {
  local letter=${1,,} dir=$2 label=${3:-} serial=${4:-} type=${5:-}
  ln -sfn "$dir" "$WINEPREFIX/dosdevices/$letter:" || return 1
  if [ -d "$dir" ]; then
    if [ -n "$label" ]; then printf '%s\n' "$label" >"$dir/.windows-label" || return 1; fi
    if [ -n "$serial" ]; then printf '%s\n' "$serial" >"$dir/.windows-serial" || return 1; fi
  fi
  if [ -n "$type" ]; then
    wine_reg_add 'HKLM\Software\Wine\Drives' "$letter:" REG_SZ "$type" 64 || return 1
  fi
}

wine_cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 30 wineserver -k </dev/null >/dev/null 2>&1 || true
    timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
  if [ -n "$WINE_XVFB_PID" ]; then
    kill "$WINE_XVFB_PID" 2>/dev/null
    wait "$WINE_XVFB_PID" 2>/dev/null
    WINE_XVFB_PID=""
  fi
  local dir
  for dir in "${WINE_MOUNTS[@]}"; do
    umount "$dir" 2>/dev/null || umount -l "$dir" 2>/dev/null || wine__log "could not unmount $dir"
  done
  WINE_MOUNTS=()
  if [ -n "${WINE_TMP:-}" ] && [ -d "$WINE_TMP" ]; then
    # Only when nothing is still mounted below it: never delete through a live mount.
    if ! grep -q " $WINE_TMP/" /proc/mounts; then rm -rf "$WINE_TMP"; fi
  fi
  WINE_TMP=""
}
