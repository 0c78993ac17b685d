# Chooses how Wine is started on this machine; sourced (not run) by
# tools/test.sh, tools/wine-run.sh and tools/demo.sh. Everything that starts
# Wine goes through what this exports, so the choice is made here only.
#
# Some machines cannot execute 32-bit x86 programs at all (the kernel answers
# "Exec format error"). Debian's `wine` script still picks the 32-bit loader
# whenever it is installed, so there every `wine ...` fails. This script
# probes once and exports:
#
#   RUNVANE_WINE32_OK      1 when 32-bit Windows programs run here, else 0
#   RUNVANE_WINE32_REASON  why not (empty when they run)
#   RUNVANE_WINE32         command that runs a 32-bit Windows program
#                          (empty when they cannot run)
#   RUNVANE_WINE64         command that runs a 64-bit Windows program
#   RUNVANE_WINE           the command for everything else (wineboot, reg,
#                          winepath): the 32-bit one when it runs, else the
#                          64-bit loader
#   RUNVANE_WINEARCH       the WINEARCH a prefix for RUNVANE_WINE must have
#                          (a prefix for the 64-bit loader must be win64)
#   RUNVANE_WINESERVER     the Wine server command (same for both)
#   WINELOADER             the 64-bit loader, when RUNVANE_WINE is it, so that
#                          processes Wine starts itself use it too
#
# RUNVANE_WINE32_OK=0 or =1 set beforehand skips the probe (to try the
# 64-bit-only path on a machine that could run 32-bit programs).

runvane_wine_probe() {
  local loader32=/usr/lib/wine/wine loader64=/usr/lib/wine/wine64 out

  # The 64-bit loader: Debian installs it outside PATH.
  if [ -x "$loader64" ]; then
    RUNVANE_WINE64=$loader64
  elif command -v wine64 >/dev/null 2>&1; then
    RUNVANE_WINE64=$(command -v wine64)
  else
    RUNVANE_WINE64=wine
  fi

  if [ -z "${RUNVANE_WINE32_OK:-}" ]; then
    RUNVANE_WINE32_OK=0
    RUNVANE_WINE32_REASON=""
    # The 32-bit loader prints its version without needing a prefix; an
    # i386 ELF the kernel refuses falls back to the shell, which fails.
    if [ -x "$loader32" ]; then
      out=$("$loader32" --version 2>/dev/null </dev/null) || out=""
    elif [ ! -x "$loader64" ] && command -v wine >/dev/null 2>&1; then
      # Not Debian's layout: a plain `wine` that handles both.
      out=$(wine --version 2>/dev/null </dev/null) || out=""
    else
      out=""
      RUNVANE_WINE32_REASON="32-bit Wine is not installed"
    fi
    case $out in
      wine-*) RUNVANE_WINE32_OK=1 ;;
    esac
    if [ "$RUNVANE_WINE32_OK" = 0 ] && [ -z "$RUNVANE_WINE32_REASON" ]; then
      if [ -x /lib/ld-linux.so.2 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1 </dev/null; then
        RUNVANE_WINE32_REASON="this machine cannot execute 32-bit programs"
      else
        RUNVANE_WINE32_REASON="32-bit Wine does not start here"
      fi
    fi
  elif [ "$RUNVANE_WINE32_OK" = 0 ]; then
    RUNVANE_WINE32_REASON=${RUNVANE_WINE32_REASON:-32-bit Wine turned off (RUNVANE_WINE32_OK=0)}
  fi

  if [ "$RUNVANE_WINE32_OK" = 1 ]; then
    RUNVANE_WINE32_REASON=""
    RUNVANE_WINE32=wine
    RUNVANE_WINE=wine
    RUNVANE_WINEARCH=win32
  else
    RUNVANE_WINE32=""
    RUNVANE_WINE=$RUNVANE_WINE64
    RUNVANE_WINEARCH=win64
    # Wine starts its own processes (services, explorer) through WINELOADER,
    # else through `wine` on PATH, which would pick the 32-bit loader again.
    if [ "$RUNVANE_WINE64" != wine ]; then export WINELOADER=$RUNVANE_WINE64; fi
  fi
  # Debian's wineserver script prefers the 64-bit server, which serves both.
  RUNVANE_WINESERVER=wineserver
  export RUNVANE_WINE32_OK RUNVANE_WINE32_REASON RUNVANE_WINE32 RUNVANE_WINE64 \
    RUNVANE_WINE RUNVANE_WINEARCH RUNVANE_WINESERVER
}

# runvane_wine_for <32|64> <prefix>: exports what running Windows programs
# of that width in that prefix needs (WINEPREFIX, WINEARCH, WINEDEBUG,
# WINEDLLOVERRIDES, WINELOADER) and sets RUNVANE_WINE_LOADER to the command
# that starts them (e.g. "$RUNVANE_WINE_LOADER" wineboot -i). Fails when
# programs of that width cannot run here.
runvane_wine_for() {
  local bits=$1 prefix=$2
  export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ "$bits" = 64 ]; then
    export WINEARCH=win64
    if [ "$RUNVANE_WINE64" != wine ]; then export WINELOADER=$RUNVANE_WINE64; fi
    RUNVANE_WINE_LOADER=$RUNVANE_WINE64
  else
    export WINEARCH=win32
    # A 64-bit loader named here would be used for 32-bit child processes.
    unset WINELOADER
    RUNVANE_WINE_LOADER=$RUNVANE_WINE32
    [ "$RUNVANE_WINE32_OK" = 1 ]
  fi
}

runvane_wine_probe
