#!/bin/sh
# `make` for a machine that may not have it yet: a minimal Debian 12 has none, so `make run`
# would fail there before anything is installed. Installs what building needs (GNU make among
# it) where it is missing, then runs make with the same arguments:
#
#   ./make run     ./make test     ./make release
set -e
cd "$(dirname "$0")"

# The first make on the PATH that is not this script.
real_make() {
    old_ifs=$IFS
    IFS=:
    for dir in $PATH; do
        if [ -x "$dir/make" ] && ! [ "$dir/make" -ef "$0" ]; then
            IFS=$old_ifs
            echo "$dir/make"
            return 0
        fi
    done
    IFS=$old_ifs
    return 1
}

if ! make_program=$(real_make); then
    tools/install-deps
    if ! make_program=$(real_make); then
        echo "make: GNU make is still missing after installing; see tools/install-deps" >&2
        exit 1
    fi
fi
exec "$make_program" "$@"
