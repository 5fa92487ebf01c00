#!/bin/sh
# The packages' strip, as Debian strips the programs it packages: the compiler's notes go with the symbols.
exec strip --remove-section=.comment --remove-section=.note "$@"
