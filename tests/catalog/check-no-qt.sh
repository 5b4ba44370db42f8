#!/bin/sh
# check-no-qt.sh EXECUTABLE SOURCE_FOLDER: fails when the executable (which links the
# catalog and nothing above it) loads a Qt library, or a source of the folder includes a
# Qt header.
set -eu
executable=$1
sources=$2
status=0
if ldd "$executable" | grep -i 'libQt'; then
  echo "$executable loads Qt" >&2
  status=1
fi
if nm -C "$executable" | grep -E ' (T|W) Q[A-Z][A-Za-z]+::' | head -5 | grep .; then
  echo "$executable holds Qt code" >&2
  status=1
fi
if grep -rnE '#include *[<"](Q[A-Za-z]+|qt[a-z]+)' "$sources"; then
  echo "$sources includes Qt headers" >&2
  status=1
fi
exit $status
