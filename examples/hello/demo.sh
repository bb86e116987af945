#!/usr/bin/env bash
# Builds Hello.app around the launcher and the installed Java runtime, then starts it twice:
# once as the desktop would (no arguments), once with arguments of our own.
set -euo pipefail
cd "$(dirname "$0")/../.."

launcher="${1:-build/applauncher}"
out="${2:-build/demo}"

fail() {
    echo "demo: $*" >&2
    exit 1
}

# The installed runtime: JAVA_HOME, or the real location of `java` on PATH.
java_home="${JAVA_HOME:-}"
if [ -z "$java_home" ] || [ ! -x "$java_home/bin/java" ]; then
    java_bin="$(command -v java)" || fail "no Java runtime found (set JAVA_HOME or put java on PATH)"
    java_home="$(dirname "$(dirname "$(readlink -f "$java_bin")")")"
fi
javac_bin="$java_home/bin/javac"
[ -x "$javac_bin" ] || javac_bin="$(command -v javac)" || fail "no javac found"
jar_bin="$java_home/bin/jar"
[ -x "$jar_bin" ] || jar_bin="$(command -v jar)" || fail "no jar found"

echo "== Compiling examples/hello with $javac_bin"
rm -rf "$out"
mkdir -p "$out/classes"
"$javac_bin" -d "$out/classes" examples/hello/src/hello/Main.java
"$jar_bin" --create --file "$out/hello.jar" -C "$out/classes" .

echo "== Laying out Hello.app (runtime: $java_home)"
bundle="$(tools/make-bundle -l "$launcher" -n Hello -o "$out" -c examples/hello/Hello.cfg \
    -r "$java_home" "$out/hello.jar")"
(cd "$out" && find Hello.app | sort | sed 's/^/   /')
echo "   Contents/runtime/Contents/Home/lib/libjli.dylib -> $(readlink "$bundle/Contents/runtime/Contents/Home/lib/libjli.dylib")"
echo
echo "== Hello.app/Contents/app/Hello.cfg"
sed 's/^/   /' "$bundle/Contents/app/Hello.cfg"
echo

echo "== Run 1: $bundle/Contents/MacOS/Hello"
echo "   (no arguments: the configured ones are used)"
status=0
"$bundle/Contents/MacOS/Hello" || status=$?
echo "   exit status: $status"
[ "$status" -eq 0 ] || fail "the first run failed"
echo

echo "== Run 2: DYLD_LIBRARY_PATH=/opt/example/lib $bundle/Contents/MacOS/Hello 'first' 'second one'"
echo "   (arguments given: they replace the configured ones; the application directory is"
echo "   appended to the library search path)"
status=0
DYLD_LIBRARY_PATH=/opt/example/lib "$bundle/Contents/MacOS/Hello" first "second one" || status=$?
echo "   exit status: $status"
[ "$status" -eq 0 ] || fail "the second run failed"
echo

echo "== Run 3: VORLANE_DEBUG=true $bundle/Contents/MacOS/Hello"
echo "   (the launcher's trace on standard error; the application's output is left out)"
status=0
VORLANE_DEBUG=true "$bundle/Contents/MacOS/Hello" >/dev/null 2>"$out/debug.txt" || status=$?
sed 's/^/   /' "$out/debug.txt"
echo "   exit status: $status"
[ "$status" -eq 0 ] || fail "the third run failed"
echo
echo
echo "Done. Start it yourself: $bundle/Contents/MacOS/Hello [arguments]"
