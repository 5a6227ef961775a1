#!/bin/bash
# Only main() runs an event loop: no dialog, box or loop of its own is run with
# exec(), no QEventLoop and no processEvents() anywhere else in the program's
# sources. The application's one loop (QCoreApplication::exec(), which cannot
# be entered twice) is allowed. Comments are not looked at.
# Usage: no_nested_loops.sh SOURCE_FOLDER
# With --check-itself: runs itself on planted sources and checks that exactly
# the offending lines are named.
set -u
if [ "${1:-}" = --check-itself ]; then
    planted="$(mktemp -d)"
    trap 'rm -rf "$planted"' EXIT
    mkdir -p "$planted/src/app" "$planted/src/ui"
    printf 'int main() { return app.exec(); }\n' > "$planted/src/app/main.cpp"
    printf '// box.exec() in a comment\nvoid f()\n{\n    box.exec();\n    QEventLoop loop;\n}\n' \
        > "$planted/src/ui/boxes.cpp"
    printf 'void g() { QCoreApplication::processEvents(); }\nint h() { return QCoreApplication::exec(); }\n' \
        > "$planted/src/ui/loop.h"
    got="$(bash "$0" "$planted/src")"
    rc=$?
    want="src/ui/boxes.cpp:4: a loop of its own:    box.exec();
src/ui/boxes.cpp:5: a loop of its own:    QEventLoop loop;
src/ui/loop.h:1: a loop of its own:void g() { QCoreApplication::processEvents(); }"
    [ "$rc" = 1 ] && [ "$got" = "$want" ] && exit 0
    printf 'exit %s, reported:\n%s\nexpected:\n%s\n' "$rc" "$got" "$want" >&2
    exit 1
fi
src="${1:?source folder}"
[ -d "$src" ] || { echo "no folder $src" >&2; exit 2; }

root="$(dirname "$src")"
found=0
while IFS= read -r -d '' file; do
    case "$file" in */app/main.cpp) continue ;; esac
    # file:line:text of every offending line, comments cut off first.
    hits="$(sed -e 's#//.*$##' "$file" | grep -n -E \
        '(^|[^A-Za-z_:])(exec[[:space:]]*\([[:space:]]*\))|QEventLoop|processEvents|QDialog::exec' \
        | grep -v -E 'Q(Core|Gui)?Application::exec[[:space:]]*\(' )"
    if [ -n "$hits" ]; then
        while IFS= read -r hit; do
            echo "${file#"$root"/}:${hit%%:*}: a loop of its own:${hit#*:}"
        done <<< "$hits"
        found=1
    fi
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
exit $found
