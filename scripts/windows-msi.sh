#!/usr/bin/env bash
# Builds the Windows Installer package of a packed Windows folder, for
# machines that an IT department manages (Group Policy, Intune, SCCM):
#   scripts/windows-msi.sh FOLDER VERSION OUT.msi
# Every file of FOLDER goes to Program Files\LK58 for every user of the
# machine, with the Start-menu shortcut "LK58 - TAVRIN", an entry under
# Add/Remove Programs with LK58's icon, and the folder on the machine's PATH
# (for tq36ctl). All versions share one upgrade code: a newer version
# replaces an older one in place, an older one refuses to install over a
# newer one. wixl builds the package from dist/windows/lk58.wxs and a file
# list by wixl-heat (msitools); msibuild then adds what wixl does not write.
# scripts/windows-package.sh calls it; scripts/windows-proof.sh also makes
# a package of a lower version with it, to prove an upgrade.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: scripts/windows-msi.sh FOLDER VERSION OUT.msi" >&2; exit 2; }
stage=$(realpath "$1")
version=$2
out=$(realpath -m "$3")
root=$(realpath "$(dirname "$0")/..")
for exe in lk58.exe tq36ctl.exe; do
    [ -f "$stage/$exe" ] || { echo "windows-msi: $stage/$exe is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/lk58-msi.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# wixl takes sources relative to where it runs.
ln -s "$stage" stage
cp "$root/dist/windows/lk58.wxs" "$root/src/app/icons/lk58.ico" .
# The two programs have components of their own in lk58.wxs (the shortcut,
# the PATH entry); every other file gets one here, 64-bit as they are.
find -L stage | sort |
    wixl-heat --var var.Stage -p stage/ --directory-ref INSTALLDIR --component-group Files \
        -x lk58.exe -x tq36ctl.exe | sed 's/<Component /<Component Win64="yes" /' >files.wxs
wixl -a x64 -D Version="$version" -D Stage=stage -D Icon=lk58.ico -o lk58.msi lk58.wxs files.wxs

# The folder joins the end of the machine's PATH on install and leaves it on
# removal, whatever else the PATH holds: Windows Installer's own way, undone
# with the rest of the package if the install fails.
printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n%s\n' \
    'PATH	=-*PATH	[~];[INSTALLDIR]	tq36ctl.exe' >Environment.idt
msibuild lk58.msi -i Environment.idt
msibuild lk58.msi -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)"
msibuild lk58.msi -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"

# Windows Installer compares only the first three fields of a version, and
# LK58 counts its releases in the fourth: the installed product of the same
# three fields is replaced too (including that bound), or a release that
# differs in the fourth field only would be installed beside it.
upgrade=$(msiinfo export lk58.msi Property | sed -n 's/^UpgradeCode\t//p' | tr -d '\r')
msibuild lk58.msi -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
msibuild lk58.msi -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade', '$version', 513, 'WIX_UPGRADE_DETECTED')"

mv lk58.msi "$out"
