# Sourced by the Windows test step and scripts/screenshot-windows.sh: a private
# Wine prefix under build-win/ (created once, with the Japanese font
# replacement the window needs) and a persistent wine server for it, so that
# each test program starts in a fraction of a second instead of five.

wine_private_start() {
  export WINE="${WINE:-/usr/lib/wine/wine64}"
  export WINEPREFIX
  WINEPREFIX="$(pwd)/build-win/wineprefix"
  export WINEDEBUG=-all
  # No .NET or HTML engine downloads: the programs need neither.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/.tapewell-ready" ]; then
    mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1
    # The dialog's font is "ＭＳ Ｐゴシック"; without a replacement Wine draws
    # Japanese text as empty boxes.
    "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS P Gothic' /t REG_SZ \
      /d 'Noto Sans CJK JP' /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ \
      /d 'Noto Sans CJK JP' /f >/dev/null 2>&1
    # Title bars and menus use Tahoma, which has no Japanese: link it to the CJK font.
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
      /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f >/dev/null 2>&1
    # Windows inside a desktop window of Wine's own, with Wine's own title
    # bars: the same on any X display, with or without a window manager.
    "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    touch "$WINEPREFIX/.tapewell-ready"
  fi
  /usr/lib/wine/wineserver -p >/dev/null 2>&1
  # Start the session's background processes now, away from the callers'
  # output pipes: a test runner waits for every process that holds its pipe.
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
}

wine_private_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; fi
}
