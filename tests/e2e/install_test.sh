#!/bin/bash
# The install tree: `cmake --install` of the build into a scratch prefix puts
# every file where it belongs and nothing else, the resolve-only name is a
# relative link, the manual pages render without a warning, the installed
# programs run with the installed sample configuration and the pages carry
# its character set line, and a second install keeps the operator's edited
# configuration file (and a link standing at its name) untouched.
#
# The build is installed as it is, not rebuilt for the scratch prefix (a
# rebuild takes minutes): that the compiled-in defaults follow the prefix is
# proved by configuring the sources afresh for the scratch prefix, which
# takes seconds, and reading the definitions the compiler would be given,
# and that the program prints what its definitions say by the build's own
# `parvalyte -d -V` against the build's definitions.
#
#   install_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
BUILD=$(cd "$1" && pwd -P) || exit 2
SOURCE=$(cd "$2" && pwd -P) || exit 2
for tool in cmake man python3; do
    command -v $tool > /dev/null || {
        echo "$tool is missing" >&2
        exit 2
    }
done
SCRATCH=$(mktemp -d /tmp/parva-install-XXXXXX)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 2
P=$SCRATCH/prefix
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
charset='<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-2">'

passed=0
failed=0
fail() {
    failed=$((failed + 1))
    echo "FAIL: $*"
}
ok() { passed=$((passed + 1)); }

# definition COMPILE_COMMANDS SOURCE_SUFFIX NAME: the value the compiler is
# given for NAME when it compiles the source whose path ends so.
definition() {
    python3 - "$@" << 'EOF'
import json, shlex, sys
commands, suffix, name = sys.argv[1:]
for entry in json.load(open(commands)):
    if entry["file"].endswith(suffix):
        for word in shlex.split(entry["command"]):
            if word.startswith("-D" + name + "="):
                print(word[len(name) + 3:])
                sys.exit(0)
print("(no " + name + ")")
EOF
}

# ---- the layout of a first install
if cmake --install "$BUILD" --prefix "$P" > install1.out 2>&1; then ok; else
    fail "cmake --install: $(tail -5 install1.out)"
fi
(cd "$P" && find . \( -type f -o -type l \) | sort) > got.files
cat > want.files << 'EOF'
./bin/parvakeep
./bin/parvalookup
./bin/parvalyte
./etc/pl-parvalyte.conf
./share/doc/parvalyte/README.md
./share/doc/parvalyte/pl-parvalyte.conf
./share/man/man1/parvakeep.1
./share/man/man1/parvalookup.1
./share/man/man1/parvalyte.1
EOF
diff want.files got.files > files.diff && ok || fail "installed files: $(cat files.diff)"
for prog in parvalyte parvakeep; do
    [ -f "$P/bin/$prog" ] && [ ! -L "$P/bin/$prog" ] && [ -x "$P/bin/$prog" ] && ok ||
        fail "bin/$prog is no executable file"
done
[ -L "$P/bin/parvalookup" ] && [ "$(readlink "$P/bin/parvalookup")" = parvalyte ] && ok ||
    fail "bin/parvalookup is no relative link to parvalyte: $(readlink "$P/bin/parvalookup")"
for pair in etc/pl-parvalyte.conf:docs/pl-parvalyte.conf \
    share/doc/parvalyte/pl-parvalyte.conf:docs/pl-parvalyte.conf \
    share/doc/parvalyte/README.md:README.md share/man/man1/parvalyte.1:docs/man/parvalyte.1 \
    share/man/man1/parvakeep.1:docs/man/parvakeep.1 \
    share/man/man1/parvalookup.1:docs/man/parvalookup.1; do
    cmp -s "$P/${pair%%:*}" "$SOURCE/${pair#*:}" && ok || fail "${pair%%:*} is not ${pair#*:}"
done

# ---- the manual pages, in the C locale (ASCII) and in UTF-8, warnings on
for page in parvalyte parvakeep; do
    for locale in C C.UTF-8; do
        LC_ALL=$locale MANWIDTH=80 man -l --warnings=all "$P/share/man/man1/$page.1" \
            > "$page.$locale.txt" 2> "$page.$locale.err"
        rc=$?
        [ $rc -eq 0 ] && [ ! -s "$page.$locale.err" ] && grep -q "^NAME" "$page.$locale.txt" &&
            grep -q "^EXIT STATUS" "$page.$locale.txt" && ok ||
            fail "man $page.1 ($locale): status $rc: $(head -5 "$page.$locale.err")"
    done
done
# The resolve-only page is the analyzer's, found through the installed tree.
LC_ALL=C MANWIDTH=80 man --warnings=all -M "$P/share/man" parvalookup > lookup.txt 2> lookup.err
rc=$?
[ $rc -eq 0 ] && [ ! -s lookup.err ] && cmp -s lookup.txt parvalyte.C.txt && ok ||
    fail "man parvalookup: status $rc: $(head -3 lookup.err)"

# ---- the compiled-in default directories follow the configured prefix
if cmake -S "$SOURCE" -B fresh -DCMAKE_INSTALL_PREFIX="$P" > configure.out 2>&1; then
    got=$(definition fresh/compile_commands.json src/driver/command_line.cpp PARVA_CONFIG_DIR)
    [ "$got" = "\"$P/etc\"" ] && ok || fail "configuration directory for $P: $got"
    for src in src/driver/command_line.cpp src/resolve/geolocation.cpp; do
        got=$(definition fresh/compile_commands.json $src PARVA_TERRABASE_DIR)
        [ "$got" = "\"$P/share/parvaterra\"" ] && ok || fail "Terrabase directory in $src: $got"
    done
else
    fail "configuring for $P: $(tail -5 configure.out)"
fi
# What the build prints is what its definitions say.
config_dir=$(definition "$BUILD/compile_commands.json" src/driver/command_line.cpp PARVA_CONFIG_DIR)
terra_dir=$(definition "$BUILD/compile_commands.json" src/driver/command_line.cpp PARVA_TERRABASE_DIR)
"$BUILD/parvalyte" -d -V > version.out
rc=$?
grep -qxF "Default config dir: ${config_dir//\"/}" version.out &&
    grep -qxF "Default Terrabase dir : ${terra_dir//\"/}" version.out && [ $rc -eq 1 ] && ok ||
    fail "-d -V (status $rc) does not show $config_dir and $terra_dir: $(tail -3 version.out)"

# ---- the installed programs, with the installed configuration
mkdir run && cd run || exit 2
"$BUILD/tools/parva_genlog" 2000 3 > log || exit 2
"$P/bin/parvalyte" -q -c "$P/etc/pl-parvalyte.conf" -o "$SCRATCH/run" -n www.example.pl log \
    > run.out 2> run.err
rc=$?
# The message of an unknown keyword, in ISO-8859-2 bytes.
[ $rc -eq 0 ] && ! grep -q 'kluczowe' run.out && ok ||
    fail "installed parvalyte: status $rc: $(head -3 run.out run.err)"
months=$(ls usage_[0-9][0-9][0-9][0-9][0-9][0-9].html 2> /dev/null | wc -l)
[ -f index.html ] && [ "$months" -ge 1 ] && ok || fail "no index page or month page: $(ls)"
# The line stands alone inside the head, where the page frame writes it.
for page in index.html usage_*.html; do
    sed -n '/^<HEAD>$/,/^<\/HEAD>$/p' "$page" | grep -qxF "$charset" && ok ||
        fail "$page has no charset line in its head"
done
# The resolve-only name runs the same program as the resolve-only run: it
# needs a DNS cache, which the analyzer does not.
"$P/bin/parvalookup" -Q log > lookup.out 2> lookup.err
rc=$?
[ $rc -eq 1 ] && grep -q '^Nie podano pliku' lookup.err && ok ||
    fail "installed parvalookup without a cache: status $rc"
"$P/bin/parvakeep" -V > keep.out
rc=$?
[ $rc -eq 0 ] && grep -q '^PARVAKEEP' keep.out && ok || fail "installed parvakeep -V: status $rc"
cd "$SCRATCH" || exit 2

# ---- a second install keeps the operator's configuration file
printf 'TopSites 5\n' >> "$P/etc/pl-parvalyte.conf"
cp "$P/etc/pl-parvalyte.conf" edited.conf
printf 'an old copy\n' > "$P/share/doc/parvalyte/pl-parvalyte.conf"
if cmake --install "$BUILD" --prefix "$P" > install2.out 2>&1; then ok; else
    fail "second cmake --install: $(tail -5 install2.out)"
fi
cmp -s edited.conf "$P/etc/pl-parvalyte.conf" && ok || fail "the edited etc/pl-parvalyte.conf was replaced"
cmp -s "$SOURCE/docs/pl-parvalyte.conf" "$P/share/doc/parvalyte/pl-parvalyte.conf" && ok ||
    fail "the doc copy of the sample was not brought up to date"
# Nor is anything written through a link standing at its name.
rm "$P/etc/pl-parvalyte.conf"
ln -s "$SCRATCH/elsewhere.conf" "$P/etc/pl-parvalyte.conf"
if cmake --install "$BUILD" --prefix "$P" > install3.out 2>&1; then ok; else
    fail "install over a link: $(tail -5 install3.out)"
fi
[ -L "$P/etc/pl-parvalyte.conf" ] && [ ! -e elsewhere.conf ] && ok ||
    fail "the link at etc/pl-parvalyte.conf was replaced or written through"

# ---- a staged install (packaging) goes below DESTDIR, the live file too
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$BUILD/CMakeCache.txt")
conf=$(definition "$BUILD/compile_commands.json" src/driver/command_line.cpp PARVA_CONFIG_DIR)
conf=${conf//\"/}
if DESTDIR=$SCRATCH/stage cmake --install "$BUILD" > install4.out 2>&1; then
    [ -x "stage$prefix/bin/parvalyte" ] && [ -L "stage$prefix/bin/parvalookup" ] &&
        cmp -s "$SOURCE/docs/pl-parvalyte.conf" "stage$conf/pl-parvalyte.conf" && ok ||
        fail "staged install: $(cd stage && find . | sort | head -20)"
else
    fail "staged install: $(tail -5 install4.out)"
fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
