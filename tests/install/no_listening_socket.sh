#!/usr/bin/env bash
# The programs connect only where they are pointed: neither imports a call that would let it
# take connections (listen, accept, bind). rv740x-sim, which serves lines, is the control: it
# must import them, or the check would prove nothing.
#
#   tests/install/no_listening_socket.sh BUILD_DIR
set -euo pipefail
build="$1"
calls='^(listen|accept|accept4|bind)(@|$)'
imports() { nm -D --undefined-only "$1" | awk '{print $2}'; }
status=0
imports "$build/rv740x-sim" | grep -qE "$calls" || { echo "rv740x-sim imports no listen: the check is blind"; exit 1; }
for program in rv740x rv740x-config; do
    [ -x "$build/$program" ] || continue
    if found="$(imports "$build/$program" | grep -E "$calls")"; then
        echo "$program may take connections: $found"
        status=1
    else
        echo "$program: connects only"
    fi
done
exit "$status"
