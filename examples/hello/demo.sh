#!/usr/bin/env bash
# Builds a self-contained Hello.app (the launcher, the application and a runtime of the modules
# it needs, found by jdeps and linked with jlink) and starts it: as the desktop would (no arguments), with arguments of our
# own, with the debug switch on, and once more after the bundle has moved.
# Runs on Linux (host build) and on macOS 11 (only the tools macOS has).
set -euo pipefail
cd "$(dirname "$0")/../.."

launcher="${1:-build/applauncher}"
out="${2:-build/demo}"

fail() {
    echo "demo: $*" >&2
    exit 1
}

# The installed JDK, with the tools the demo needs.
java_home="$(tools/find-jdk javac jar jlink jdeps)" || fail "the demo needs a JDK"

# start TITLE EXPLANATION COMMAND...: runs the bundle, shows its output and exit status.
start() {
    local title=$1 explanation=$2 status=0
    shift 2
    echo "== $title"
    echo "   ($explanation)"
    "$@" || status=$?
    echo "   exit status: $status"
    [ "$status" -eq 0 ] || fail "the run failed"
    echo
}

echo "== Compiling examples/hello with $java_home/bin/javac"
rm -rf "$out"
mkdir -p "$out/classes"
"$java_home/bin/javac" -d "$out/classes" examples/hello/src/hello/Main.java
"$java_home/bin/jar" --create --file "$out/hello.jar" -C "$out/classes" .

echo "== Laying out Hello.app: the launcher, hello.jar and a runtime linked from $java_home"
echo "   of the modules that jdeps finds (-m auto); make-bundle prints the bundle's path alone on"
echo "   standard output, its notes on standard error"
bundle="$(tools/make-bundle -l "$launcher" -n Hello -o "$out" -c examples/hello/Hello.cfg \
    -r "$java_home" -m auto -i org.example.hello -V 1.0 "$out/hello.jar")"
(cd "$out" && find Hello.app -maxdepth 5 ! -path '*/legal*' | sort | sed 's/^/   /')
echo "   ($(find "$bundle" -type f | wc -l | tr -d ' ') files, $(du -sk "$bundle" | cut -f1) KB;" \
    "Contents/runtime/Contents/Home/lib/libjli.dylib -> $(readlink "$bundle/Contents/runtime/Contents/Home/lib/libjli.dylib" || echo "a file"))"
echo
echo "== Hello.app/Contents/app/Hello.cfg"
sed 's/^/   /' "$bundle/Contents/app/Hello.cfg"
echo

check="$(dirname "$launcher")/applauncher-check"
if [ -x "$check" ]; then
    start "Check: $check $bundle" \
        "what the launcher will do with the bundle, without starting the runtime" \
        "$check" "$bundle"
fi

exe="$bundle/Contents/MacOS/Hello"
start "Run 1: $exe" "no arguments: the configured ones are used" "$exe"
start "Run 2: DYLD_LIBRARY_PATH=/opt/example/lib $exe 'first' 'second one'" \
    "arguments given: they replace the configured ones; the application directory is appended to the library search path" \
    env DYLD_LIBRARY_PATH=/opt/example/lib "$exe" first "second one"
status=0
VORLANE_DEBUG=true "$exe" >/dev/null 2>"$out/debug.txt" || status=$?
start "Run 3: VORLANE_DEBUG=true $exe" \
    "the launcher's trace on standard error; the application's output is left out" \
    sed 's/^/   /' "$out/debug.txt"
[ "$status" -eq 0 ] || fail "the third run failed"

moved="$out/moved here/Hello.app"
mkdir -p "$out/moved here"
mv "$bundle" "$moved"
moved="$(cd "$moved" && pwd -P)"
status=0
"$moved/Contents/MacOS/Hello" >"$out/moved.txt" 2>&1 || status=$?
start "Run 4: $moved/Contents/MacOS/Hello" \
    "the bundle moved to a directory with a space: it still runs, from its own runtime" \
    cat "$out/moved.txt"
[ "$status" -eq 0 ] || fail "the moved bundle failed"
grep -q "java.home         = $moved/Contents/runtime/Contents/Home\$" "$out/moved.txt" ||
    fail "the moved bundle did not run from its own runtime"
echo
echo "Done. Start it yourself: \"$moved/Contents/MacOS/Hello\" [arguments]"
