#!/usr/bin/env bash
# complete_test.sh LUPDATE SOURCE_FOLDER TS_FILE...
# Runs lupdate over the sources into a copy of each .ts file and fails when the
# copy has an unfinished entry (a text without its translation, or one the
# sources have and the file has not) or a vanished or obsolete one (a text the
# sources no longer have), naming each.
set -euo pipefail
lupdate=$1 sources=$2
shift 2
[ $# -gt 0 ] || { echo "no .ts file given" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for ts in "$@"; do
    copy="$work/$(basename "$ts")"
    cp "$ts" "$copy"
    "$lupdate" -silent -locations none "$sources" -ts "$copy"
    bad=$(python3 - "$copy" <<'PY'
import sys
import xml.etree.ElementTree as ET
for context in ET.parse(sys.argv[1]).getroot().iter('context'):
    name = context.findtext('name')
    for message in context.iter('message'):
        translation = message.find('translation')
        kind = translation.get('type', '') if translation is not None else 'missing'
        if kind or not (translation.text or '').strip():
            print(f"{kind or 'empty'}: {name}: {message.findtext('source')!r}")
PY
)
    if [ -n "$bad" ]; then
        echo "$(basename "$ts"):"
        echo "$bad"
        status=1
    fi
done
exit $status
