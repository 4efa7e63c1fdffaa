#!/usr/bin/env bash
# Runs the built `kalibron` binary as a user would and checks exit statuses,
# byte-exact output, the locale's decimal separator and the image files.
#   cli_process_test.sh KALIBRON_BINARY TEST_DATA_DIR WORK_DIR LOCALE_PROBE
set -u
tool=$1
data=$2
work=$3
probe=$4
rm -rf "$work"
mkdir -p "$work"
export LC_ALL=C
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# run NAME ARGS...: runs the tool, keeps stdout/stderr in $work/NAME.{out,err}, sets $status
run() {
    local name=$1
    shift
    "$tool" "$@" >"$work/$name.out" 2>"$work/$name.err"
    status=$?
}

expect_status() {
    [[ $status -eq $1 ]] || fail "$2: exit status $status, expected $1 ($(head -c 300 "$work/$2.err"))"
}

run help --help
expect_status 0 help
grep -q '^Usage: kalibron COMMAND' "$work/help.out" || fail "help: no usage line"
run version --version
expect_status 0 version
grep -qx 'kalibron [0-9][0-9.]*' "$work/version.out" || fail "version: '$(head -c 100 "$work/version.out")'"

# The start-up example, as a file with CR LF lines and as LF lines on stdin.
run example export "$data/example_table.txt"
expect_status 0 example
cmp -s "$work/example.out" "$data/export_start.txt" || fail "example: export differs from export_start.txt"
[[ $(tr -cd '\r' <"$work/example.out" | wc -c) -eq 31 ]] || fail "example: expected 31 CR-ended lines"
[[ $(tr -cd '\n' <"$work/example.out" | wc -c) -eq 0 ]] || fail "example: LF in the export"
tr -d '\r' <"$data/example_table.txt" | "$tool" export - >"$work/stdin.out" 2>"$work/stdin.err"
status=$?
expect_status 0 stdin
cmp -s "$work/example.out" "$work/stdin.out" || fail "stdin: LF table on standard input exports differently"

# The second program's export of the same table: its own reference.
run example_he export --program He-VeviRavo-1 "$data/example_table.txt"
expect_status 0 example_he
cmp -s "$work/example_he.out" "$data/export_start_he.txt" || fail "example_he: export differs from export_start_he.txt"

# A refused table: its message, status 2, nothing on standard output.
printf '5\t980\n10\t770\n' >"$work/two_lines.txt"
run refused export "$work/two_lines.txt"
expect_status 2 refused
[[ -s "$work/refused.out" ]] && fail "refused: standard output not empty"
grep -qx 'Error occurred while trying paste data from the clipboard. Please check the format of the copied table.' \
    "$work/refused.err" || fail "refused: format message missing"

run unreadable fit "$work/does_not_exist.txt"
expect_status 1 unreadable
grep -q "^kalibron: cannot read $work/does_not_exist.txt: " "$work/unreadable.err" || fail "unreadable: reason missing"

run badoption export --prob 9 "$data/example_table.txt"
expect_status 2 badoption
[[ $(wc -l <"$work/badoption.err") -eq 1 ]] || fail "badoption: not one line"

# The user's locale decides the decimal separator of the export and labels,
# never that of the JSON numbers.
LC_ALL=de_DE.UTF-8 "$tool" export "$data/example_table.txt" >"$work/german.out" 2>"$work/german.err"
status=$?
expect_status 0 german
tr '\r' '\n' <"$work/german.out" | sed -n '5p' | grep -q $'^1\t\t[0-9-]*,[0-9]' || fail "german: no decimal comma in line 1"
LC_ALL=de_DE.UTF-8 "$tool" fit "$data/example_table.txt" >"$work/german_fit.out" 2>"$work/german_fit.err"
status=$?
expect_status 0 german_fit
grep -q '"LinB":-[0-9]*\.[0-9]' "$work/german_fit.out" || fail "german_fit: JSON number without a point"
grep -q '"lbl_LRb":"-[0-9]*,[0-9]' "$work/german_fit.out" || fail "german_fit: label without a comma"

# The tool reads the C locale without Qt; wherever it does, Qt must agree.
for all in unset "" C POSIX C.UTF-8 de_DE.UTF-8; do
    for numeric in unset "" C C.UTF-8 de_DE.UTF-8 fr_FR.UTF-8; do
        for lang in unset "" C POSIX en_US.UTF-8 de_DE.UTF-8; do
            settings=()
            for pair in "LC_ALL=$all" "LC_NUMERIC=$numeric" "LANG=$lang"; do
                [[ $pair == *=unset ]] || settings+=("$pair")
            done
            plain=$(env -u LC_ALL -u LC_NUMERIC -u LANG "${settings[@]}" "$probe" plain)
            qt=$(env -u LC_ALL -u LC_NUMERIC -u LANG "${settings[@]}" "$probe" qt)
            [[ $plain == - || $plain == "$qt" ]] || fail "locale ${settings[*]}: the tool takes '$plain', Qt '$qt'"
        done
    done
done

# Images, without a display.
unset DISPLAY WAYLAND_DISPLAY
run png plot -o "$work/plot.png" "$data/example_table.txt"
expect_status 0 png
[[ $(head -c 8 "$work/plot.png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "png: not a PNG file"
run svg plot --dpi 150 -o "$work/plot.svg" "$data/example_table.txt"
expect_status 0 svg
grep -q '^<svg ' "$work/plot.svg" && grep -q 'xmlns="http://www.w3.org/2000/svg"' "$work/plot.svg" \
    && grep -q 'viewBox="0 0 1214 677"' "$work/plot.svg" || fail "svg: no svg element of 150 dpi"
run png_he plot --program He-VeviRavo-1 -o "$work/plot_he.png" "$data/example_table.txt"
expect_status 0 png_he
[[ -s "$work/plot_he.png" ]] || fail "png_he: no image"

# Without student.dat beside the program the run goes on without the band,
# after saying so on standard error.
mkdir -p "$work/alone"
cp "$tool" "$work/alone/kalibron"
"$work/alone/kalibron" export "$data/example_table.txt" >"$work/alone.out" 2>"$work/alone.err"
status=$?
expect_status 0 alone
grep -q 'student.dat' "$work/alone.err" || fail "alone: no message about student.dat"
tr '\r' '\n' <"$work/alone.out" | sed -n '5p' | grep -q $'^1\t\t[^\t]*\t\t' || fail "alone: C.I. cell not empty"

# Without its drawing module (neither beside the program nor installed) the
# plot fails with the reason and leaves no file.
mkdir -p "$work/nodraw"
cp "$tool" "$(dirname "$tool")/student.dat" "$work/nodraw/"
"$work/nodraw/kalibron" plot -o "$work/nodraw/plot.png" "$data/example_table.txt" >"$work/nodraw.out" 2>"$work/nodraw.err"
status=$?
expect_status 1 nodraw
grep -qx "kalibron: cannot draw: .*/kalibron-plot\.so: .*kalibron-plot\.so: cannot open shared object file: .*" \
    "$work/nodraw.err" || fail "nodraw: '$(cat "$work/nodraw.err")'"
[[ -e "$work/nodraw/plot.png" ]] && fail "nodraw: an image was written"

# Without its locale module a run in a locale other than C stops with the
# reason and writes nothing; in the C locale it needs no module (above).
LC_ALL=de_DE.UTF-8 "$work/nodraw/kalibron" export "$data/example_table.txt" >"$work/nolocale.out" 2>"$work/nolocale.err"
status=$?
expect_status 1 nolocale
grep -qx "kalibron: cannot read the locale's number separators: .*/kalibron-locale\.so: .*cannot open shared object file: .*" \
    "$work/nolocale.err" || fail "nolocale: '$(cat "$work/nolocale.err")'"
[[ -s "$work/nolocale.out" ]] && fail "nolocale: output written"

# `sequence` as a process: no command lists it; a full standard output and a
# folder the user may not read fail with status 1 and keep the master file.
"$tool" >"$work/nocommand.out" 2>"$work/nocommand.err"
status=$?
expect_status 2 nocommand
grep -q 'rank, sequence' "$work/nocommand.err" || fail "nocommand: sequence not listed"
day=$work/day
mkdir -p "$day"
printf 'x' >"$day/0808_27a-S01.env"
"$tool" sequence --day 0808_27 --ext env "$day" >/dev/full 2>"$work/full.err"
status=$?
expect_status 1 full
grep -qx 'kalibron: cannot write standard output' "$work/full.err" || fail "full: '$(cat "$work/full.err")'"
if [[ $(id -u) -eq 0 ]] && command -v setpriv >/dev/null; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
elif [[ $(id -u) -ne 0 ]]; then
    as_user=()
else
    as_user=(skip)
fi
if [[ ${as_user[0]:-} == skip ]]; then
    echo "SKIP: running as root without setpriv; the unreadable folder is not tried as a process"
else
    chmod 755 "$work"
    mkdir -p "$work/out"
    chmod 777 "$work/out"
    printf 'a good master file\r\n' >"$work/out/OLD.csv"
    chmod 000 "$day"
    "${as_user[@]}" "$tool" sequence --day 0808_27 --ext env --master "$work/out/OLD.csv" "$day" \
        >"$work/locked.out" 2>"$work/locked.err"
    status=$?
    chmod 755 "$day"
    expect_status 1 locked
    grep -qx "kalibron: cannot read the directory $day: Permission denied" "$work/locked.err" \
        || fail "locked: '$(cat "$work/locked.err")'"
    [[ $(cat "$work/out/OLD.csv") == $'a good master file\r' ]] || fail "locked: the master file changed"
fi

if [[ $failures -gt 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all process checks passed"
