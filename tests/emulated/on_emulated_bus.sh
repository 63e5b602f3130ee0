#!/bin/sh
# on_emulated_bus.sh WRAPPER PROGRAM [ARGS...]: runs a test program under
# umockdev's wrapper, whose preload puts the emulated bus in place of /sys and
# /dev. The preload then comes before the sanitizer runtime in the library
# list, which AddressSanitizer accepts when told not to check.
wrapper=$1
shift
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" exec "$wrapper" "$@"
