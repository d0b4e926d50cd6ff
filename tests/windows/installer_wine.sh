#!/usr/bin/env bash
# The installer under Wine, in the prefix scripts/test-windows set up: a
# silent install for the current user, the installed quorvel-cli.exe runs,
# the Start menu shortcut starts the program in Documents\Quorvel, and the
# silent uninstall removes the program but keeps the user's data.qvp.
#   installer_wine.sh SETUP_EXE WORK_DIR
set -euo pipefail
setup=$(realpath "$1")
work=$2
rm -rf "$work"
mkdir -p "$work"
fail() {
    echo "FAILED: $*"
    exit 1
}
unix_folder() { winepath -u "$(wine cmd /c "echo %$1%" | tr -d '\r')" | sed 's:/$::'; }

wine "$setup" /S
wineserver -w
programs="$(unix_folder LOCALAPPDATA)/Programs/Quorvel"
documents="$(winepath -u "$(wine cmd /c 'echo %USERPROFILE%\Documents' | tr -d '\r')" | sed 's:/$::')"
shortcut="$(unix_folder APPDATA)/Microsoft/Windows/Start Menu/Programs/Quorvel.lnk"

for f in quorvel.exe quorvel-cli.exe Qt6Core.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
    translations/qtbase_ru.qm qt.conf readme.txt uninstall.exe; do
    [ -e "$programs/$f" ] || fail "$f was not installed into $programs"
done
wine "$programs/quorvel-cli.exe" --help >"$work/help.txt" || fail "the installed quorvel-cli.exe --help failed"
grep -q '^Usage: quorvel-cli' "$work/help.txt" || fail "quorvel-cli.exe --help said: $(head -n 3 "$work/help.txt")"
[ -f "$shortcut" ] || fail "no Start menu shortcut"
strings -e l "$shortcut" | grep -q 'Documents\\Quorvel$' || fail "the shortcut does not start in Documents\\Quorvel"
[ -d "$documents/Quorvel" ] || fail "the installer made no Documents\\Quorvel"

printf '<QV_U>\xef\xf0\xe8\xec\xe5\xf0</QV_U>\r\n' >"$documents/Quorvel/data.qvp"
cp "$documents/Quorvel/data.qvp" "$work/data.qvp"
printf '100\r\n' >"$documents/Quorvel/widths.qvf"
wine "$programs/uninstall.exe" /S
wineserver -w
[ ! -e "$programs/quorvel.exe" ] || fail "the uninstaller left quorvel.exe"
[ ! -e "$programs" ] || fail "the uninstaller left $programs: $(ls -A "$programs")"
[ ! -e "$shortcut" ] || fail "the uninstaller left the shortcut"
cmp -s "$documents/Quorvel/data.qvp" "$work/data.qvp" || fail "the uninstaller touched data.qvp"
[ -f "$documents/Quorvel/widths.qvf" ] || fail "the uninstaller removed widths.qvf"
echo "installer under Wine: all passed"
