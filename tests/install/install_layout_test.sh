#!/usr/bin/env bash
# `cmake --install` into a fresh prefix, as a packager or a user installs:
# the layout, the desktop entries, and the installed programs running from
# there with student.dat from share/kalibron and the tool's drawing and
# locale modules from LIB_DIR (lib/kalibron/; none lies beside them).
#   install_layout_test.sh BUILD_DIR WORK_DIR VERSION TABLE LIB_DIR
set -uo pipefail
build=$1 work=$2 version=$3 table=$4 libdir=$5
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "cmake --install: $(tail -5 "$work/install.log")"

man=$prefix/share/man/man1
for file in bin/Kalibron-01 bin/kalibron share/kalibron/student.dat share/applications/kalibron-01.desktop \
    share/icons/hicolor/scalable/apps/kalibron.svg share/man/man1/kalibron.1.gz share/man/man1/Kalibron-01.1.gz \
    share/doc/kalibron/copyright share/doc/kalibron/changelog.gz "$libdir/kalibron-plot.so" "$libdir/kalibron-locale.so"; do
    [[ -s $prefix/$file ]] || fail "$file not installed"
done
[[ -x $prefix/bin/Kalibron-01 && -x $prefix/bin/kalibron ]] || fail "programs not executable"
[[ ! -e $prefix/bin/student.dat ]] || fail "student.dat installed beside the programs"
for module in kalibron-plot.so kalibron-locale.so; do
    [[ ! -e $prefix/bin/$module ]] || fail "$module installed beside the programs"
done
cmp -s "$prefix/share/kalibron/student.dat" "$build/bin/student.dat" || fail "student.dat differs"
# A program's desktop entry comes with the program, never without it.
program=no entry=no
[[ -e $prefix/bin/Kalibron-He-VeviRavo-1 ]] && program=yes
[[ -e $prefix/share/applications/kalibron-he-veviravo-1.desktop ]] && entry=yes
[[ $program == "$entry" ]] || fail "Kalibron-He-VeviRavo-1 installed: $program, its desktop entry: $entry"

for entry in "$prefix"/share/applications/*.desktop; do
    name=$(basename "$entry")
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [[ -n $program && -x $prefix/bin/$program ]] || fail "$name: Exec '$program' is not an installed program"
    for key in "Name=$program" "Icon=kalibron" "Categories=Science;DataVisualization;" "Type=Application"; do
        grep -qx "$key" "$entry" || fail "$name: no line '$key'"
    done
    grep -q '^Comment=.' "$entry" || fail "$name: no Comment"
    if command -v desktop-file-validate >/dev/null; then
        said=$(desktop-file-validate "$entry" 2>&1) && [[ -z $said ]] || fail "$name: desktop-file-validate: $said"
    fi
done
grep -q '^<svg ' "$prefix/share/icons/hicolor/scalable/apps/kalibron.svg" || fail "icon is no SVG"
# The man pages, gzipped: one per installed program, each naming only pages
# that are installed, every reference on a line of its own.
for page in "$man"/*; do
    [[ $page == *.1.gz ]] || fail "$(basename "$page") is no gzipped page of section 1"
done
for program in "$prefix"/bin/*; do
    [[ -e $man/$(basename "$program").1.gz ]] || fail "no man page for $(basename "$program")"
done
zcat "$man/kalibron.1.gz" >"$work/kalibron.1" || fail "kalibron.1.gz is not gzip"
grep -q '^\.TH KALIBRON 1 .*kalibron '"$version" "$work/kalibron.1" || fail "man page header"
for command in PLOT SEQUENCE; do
    grep -q "^\.SH $command\$" "$work/kalibron.1" || fail "man page lacks the command ${command,,}"
done
grep -q '^\.B kalibron sequence$' "$work/kalibron.1" || fail "man page synopsis lacks kalibron sequence"
for page in "$man"/*.1.gz; do
    while read -r reference; do
        [[ -e $man/$reference.1.gz ]] || fail "$(basename "$page") refers to $reference(1), which is not installed"
    done < <(zcat "$page" | sed -n 's/^\.BR \\%\([^ ]*\) (1),\{0,1\}$/\1/p' | sed 's/\\-/-/g')
    zcat "$page" | sed -n '/^\.SH SEE ALSO/,$p' | grep '^\.BR' | grep -qv '^\.BR [^ ]* (1),\{0,1\}$' \
        && fail "$(basename "$page"): a SEE ALSO line is not one reference"
done
zcat "$man/kalibron.1.gz" | grep -qx '\.BR \\%Kalibron\\-01 (1),\{0,1\}' || fail "kalibron.1 does not refer to Kalibron-01(1)"
zcat "$man/Kalibron-01.1.gz" | grep -q 'QT_QPA_PLATFORM=offscreen' || fail "Kalibron-01.1 does not say how to start without a display"
# Copyright and changelog where Debian keeps them; the changelog's newest entry is this version.
grep -q '^Copyright: ' "$prefix/share/doc/kalibron/copyright" || fail "copyright names no holder"
[[ $(zcat "$prefix/share/doc/kalibron/changelog.gz" | head -1) == "kalibron ($version) "* ]] \
    || fail "changelog.gz does not start with version $version"

# The installed tool: its version, and the confidence band, which needs student.dat.
[[ $("$prefix/bin/kalibron" --version) == "kalibron $version" ]] || fail "kalibron --version"
"$prefix/bin/kalibron" fit "$table" >"$work/fit.json" 2>"$work/fit.err" || fail "kalibron fit: $(cat "$work/fit.err")"
grep -q '"tValue":3\.18' "$work/fit.json" || fail "installed kalibron has no t table: $(cat "$work/fit.err")"
grep -q '"messages":\[\]' "$work/fit.json" || fail "installed kalibron reports: $(cat "$work/fit.err")"
# A locale other than C, read by the locale module from the library folder.
LC_ALL=de_DE.UTF-8 "$prefix/bin/kalibron" export "$table" >"$work/german.txt" 2>"$work/german.err" \
    || fail "installed kalibron export in de_DE: $(cat "$work/german.err")"
tr '\r' '\n' <"$work/german.txt" | grep -q $'^1\t\t[0-9-]*,[0-9]' || fail "installed kalibron writes no decimal comma"
# Its plot, drawn by the module from the library folder.
(unset DISPLAY WAYLAND_DISPLAY; "$prefix/bin/kalibron" plot -o "$work/plot.png" "$table") 2>"$work/plot.err" \
    || fail "installed kalibron plot: $(cat "$work/plot.err")"
[[ $(head -c 8 "$work/plot.png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "installed plot is no PNG"

# The installed window program starts and draws; without its t table it would
# stop at a message box and the timeout would end it.
QT_QPA_PLATFORM=offscreen timeout 60 "$prefix/bin/Kalibron-01" --screenshot "$work/window.png" \
    >"$work/window.log" 2>&1 || fail "Kalibron-01 did not start and draw: $(tail -5 "$work/window.log")"
[[ -s $work/window.png ]] || fail "Kalibron-01 drew nothing"
echo "install layout OK"
