#!/usr/bin/env bash
# Packs the Windows build for a technician: scripts/windows-package.sh [BUILD]
# Makes, in BUILD (default build/windows), lk58-<version>-win64.zip (a folder
# with the two programs, the installer's PATH editor, the Qt and MinGW DLLs
# they need and no more, stripped, Qt's Czech texts, the licences and a
# read-me), lk58-<version>-setup.exe, an NSIS installer of the same folder,
# and lk58-<version>-x64.msi, a Windows Installer package of it for managed
# machines (scripts/windows-msi.sh). Given a certificate, the programs are
# signed before they are packed, then the setup and the MSI
# (scripts/windows-sign.sh). scripts/windows.sh --package builds first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build/windows}")
qt=${LK58_QT_WIN:-/opt/lk58/qt6-mingw-6.4.2}
mingw=x86_64-w64-mingw32

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "windows-package: no configured build in $build" >&2; exit 2; }
name=lk58-$version-win64
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage/platforms" "$stage/licenses"

for exe in src/app/lk58.exe src/ctl/tq36ctl.exe src/winpath/lk58-path.exe; do
    [ -f "$build/$exe" ] || { echo "windows-package: $build/$exe is not built" >&2; exit 2; }
    cp "$build/$exe" "$stage/"
done
cp "$qt"/bin/Qt6Core.dll "$qt"/bin/Qt6Gui.dll "$qt"/bin/Qt6Widgets.dll "$stage/"
cp "$qt"/plugins/platforms/qwindows.dll "$stage/platforms/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do
    cp "$($mingw-g++-posix -print-file-name=$dll)" "$stage/"
done
cp /usr/$mingw/lib/libwinpthread-1.dll "$stage/"
find "$stage" -name '*.exe' -o -name '*.dll' | xargs $mingw-strip --strip-unneeded
mkdir -p "$stage/translations"
cp "$build/src/app/translations/qtbase_cs.qm" "$stage/translations/"

# Every DLL a program or plugin imports must be in the folder or be Windows' own.
imports() { $mingw-objdump -p "$1" | sed -n 's/^\tDLL Name: //p'; }
for f in "$stage"/*.exe "$stage"/*.dll "$stage"/platforms/*.dll; do
    for dll in $(imports "$f"); do
        case ${dll,,} in
        qt6*|lib*) [ -f "$stage/$dll" ] || { echo "windows-package: $(basename "$f") needs $dll, not packed" >&2; exit 1; } ;;
        esac
    done
done

scripts/windows-sign.sh "$stage/lk58.exe" "$stage/tq36ctl.exe"

cp dist/copyright "$stage/licenses/LK58.txt"
cp "$qt"/licenses/* "$stage/licenses/"
rm -f "$stage/licenses/LicenseRef-Qt-Commercial.txt" # the commercial terms do not apply
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/MinGW-GCC-runtime.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/MinGW-w64.txt"
sed "s/@VERSION@/$version/" dist/windows/README.txt >"$stage/README.txt"
# Windows tools read these with CRLF line ends.
for f in "$stage"/README.txt "$stage"/licenses/*; do sed -i 's/\r*$/\r/' "$f"; done

(cd "$build/package" && rm -f "../$name.zip" && cmake -E tar cf "../$name.zip" --format=zip "$name")

# The installer installs exactly the folder's files and removes exactly them.
files=$build/package/files.nsh
unfiles=$build/package/unfiles.nsh
: >"$files"
: >"$unfiles"
(cd "$stage" && find . -type d | sort) | while read -r d; do
    rel=${d#./}; rel=${rel#.}
    win=${rel//\//\\}
    echo "SetOutPath \"\$INSTDIR${win:+\\$win}\"" >>"$files"
    (cd "$stage/$d" && find . -maxdepth 1 -type f | sort) | while read -r f; do
        echo "File \"$stage/${rel:+$rel/}${f#./}\"" >>"$files"
        echo "Delete \"\$INSTDIR${win:+\\$win}\\${f#./}\"" >>"$unfiles"
    done
done
(cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r d; do
    win=${d#./}; echo "RMDir \"\$INSTDIR\\${win//\//\\}\"" >>"$unfiles"
done
makensis -V2 -DVERSION="$version" -DFILES="$files" -DUNFILES="$unfiles" \
    -DICON="$root/src/app/icons/lk58.ico" -DOUTFILE="$build/lk58-$version-setup.exe" \
    dist/windows/lk58.nsi

msi=$build/lk58-$version-x64.msi
scripts/windows-msi.sh "$stage" "$version" "$msi"
scripts/windows-sign.sh "$build/lk58-$version-setup.exe" "$msi"
ls -l "$build/$name.zip" "$build/lk58-$version-setup.exe" "$msi"
