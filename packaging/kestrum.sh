#!/bin/sh
# Starts Kestrum in its data folder: the program reads its box models (bin/) and its manual
# (help/) from the working directory, and "Render Image" starts kilnshot from there.
here=$(dirname "$(readlink -f "$0")")
prefix=$(dirname "$here")
data="$prefix/share/kestrum"
if ! cd "$data" 2>/dev/null || [ ! -f bin/shadow.a3d ]; then
  echo "kestrum: cannot find the program's data in $data" >&2
  exit 1
fi
exec "$prefix/libexec/kestrum/kestrum" "$@"
