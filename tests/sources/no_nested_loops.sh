#!/bin/bash
# Only main() runs an event loop: no dialog, box or loop of its own is run with
# exec(), no QEventLoop and no processEvents() anywhere else in the program's
# sources. The application's one loop (QCoreApplication::exec(), which cannot
# be entered twice) is allowed. Comments are not looked at.
# Usage: no_nested_loops.sh SOURCE_FOLDER
set -u
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
