#!/bin/sh
# Installs Quorrin for this user, without root: a `quorrin` command in
# ~/.local/bin and a desktop entry with the program's icon, both starting
# the launcher of this checkout (scripts/run.sh: it sets up what is missing,
# builds, and starts Quorrin under Wine). Run it again after moving the
# checkout; scripts/install.sh --remove takes both away.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN="${XDG_BIN_HOME:-$HOME/.local/bin}"
DATA="${XDG_DATA_HOME:-$HOME/.local/share}"
APPS="$DATA/applications"
ICONS="$DATA/icons/hicolor/32x32/apps"

if [ "${1:-}" = "--remove" ]; then
  rm -f "$BIN/quorrin" "$APPS/quorrin.desktop" "$ICONS/quorrin.png"
  echo "install: removed quorrin from $BIN and its desktop entry"
  exit 0
fi

mkdir -p "$BIN" "$APPS" "$ICONS"
cat > "$BIN/quorrin.part" <<CMD
#!/bin/sh
# Starts Quorrin from the checkout at $ROOT (made by scripts/install.sh).
exec "$ROOT/scripts/run.sh" "\$@"
CMD
chmod +x "$BIN/quorrin.part"
mv "$BIN/quorrin.part" "$BIN/quorrin"

# The icon: the 32 x 32 image of the program's own icon.
/usr/bin/python3 "$ROOT/scripts/icon_png.py" "$ROOT/resources/quorrin.ico" 32 "$ICONS/quorrin.png"

cat > "$APPS/quorrin.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Quorrin
GenericName=Serial link debugger
Comment=Capture, show and send on two serial ports (RS-232C, RS-422, RS-485)
Exec=$BIN/quorrin
Icon=$ICONS/quorrin.png
Terminal=false
Categories=Development;Electronics;
DESKTOP
echo "install: $BIN/quorrin and $APPS/quorrin.desktop start $ROOT/scripts/run.sh"
case ":$PATH:" in
  *":$BIN:"*) ;;
  *) echo "install: $BIN is not on PATH; add it to run 'quorrin' from a shell" ;;
esac
