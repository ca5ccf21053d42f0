#!/bin/sh
# Writes the help2man include file for quorvelle: a COMMANDS section made of
# each command's own --help, plus the files and exit statuses.
#   man_include.sh PROGRAM OUTPUT
set -eu
program="$1"
out="$2"
{
  echo "[COMMANDS]"
  # The commands as the program lists them, each group's own commands in
  # its place ("category add"); help only repeats the others.
  names() { "$program" "$@" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'; }
  for top in $(names); do
    [ "$top" = help ] && continue
    subs="$(names "$top")"
    if [ -z "$subs" ]; then
      echo "$top"
    else
      for sub in $subs; do echo "$top $sub"; done
    fi
  done >"$out.commands"
  while IFS= read -r command; do
    echo ".SS quorvelle $command"
    echo ".nf"
    # shellcheck disable=SC2086
    "$program" $command --help | sed -e 's/\\/\\e/g' -e 's/^\./\\\&./'
    echo ".fi"
  done <"$out.commands"
  rm -f "$out.commands"
  cat <<'TEXT'
[EXIT STATUS]
0 done; 1 refused or failed (a duplicate, a feed or category not found, a
download that failed, a file that cannot be read); 2 usage error; 130
(Ctrl-C) or 143 (SIGTERM) interrupted. A command that fails or is
interrupted writes nothing.
[FILES]
.TP
~/.local/share/Quorvelle/Feeds.xml
The feed list, shared with the browser band.
.TP
~/.config/Quorvelle/registry/HKEY_CURRENT_USER.reg
The settings (key Software\eTolvane\eQuorvelle).
[SEE ALSO]
quorvelle-browser(1); the --json shapes and more in /usr/share/doc/quorvelle/cli.md (docs/cli.md in the sources).
TEXT
} >"$out"
