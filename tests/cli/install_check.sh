#!/usr/bin/env bash
# Installs a native build into a scratch DESTDIR and checks what a user gets: each installed
# program's --version, its man page through man -l, and the bash completion of tessaline-update.
# usage: install_check.sh BUILD_DIR PROGRAM_VERSION
set -euo pipefail
build=${1:?usage: install_check.sh BUILD_DIR PROGRAM_VERSION}
version=${2:?program version}
stage=$(mktemp -d /tmp/tessaline-install.XXXXXX)
trap 'rm -rf "$stage"' EXIT
fail() { echo "install_check: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >"$stage.log" 2>&1 || { cat "$stage.log" >&2; fail "install failed"; }
rm -f "$stage.log"
for program in tessaline-update tessaline-unit-sim; do
  binary=$stage/usr/bin/$program
  [ -x "$binary" ] || fail "$program not installed in /usr/bin"
  first=$("$binary" --version | head -n 1)
  [ "$first" = "$program $version" ] || fail "$program --version says '$first', not '$program $version'"
  "$binary" --version | grep -q '^package build version [^ ]' || fail "$program --version lacks the package build version"
  "$binary" --version | grep -q '^source revision [^ ]' || fail "$program --version lacks the source revision"
  page=$stage/usr/share/man/man1/$program.1.gz
  [ -f "$page" ] || fail "no man page $page"
  text=$(MANWIDTH=100 man -l "$page" 2>&1) || fail "man -l $page failed: $text"
  grep -q "$program $version" <<<"$text" || fail "man page of $program does not show version $version"
  grep -q -- '--help' <<<"$text" || fail "man page of $program lists no options"
done
# The update page documents every command of the command table and the exit codes.
update_page=$(MANWIDTH=100 man -l "$stage/usr/share/man/man1/tessaline-update.1.gz")
for word in update exit-bootload discover query enter-bootload doctor "Exit status"; do
  grep -q -- "$word" <<<"$update_page" || fail "the tessaline-update man page lacks '$word'"
done

completion=$stage/usr/share/bash-completion/completions/tessaline-update
[ -f "$completion" ] || fail "no bash completion installed"
words=$(bash -c 'source "$1"; COMP_WORDS=(tessaline-update doc); COMP_CWORD=1; _tessaline_update; echo "${COMPREPLY[*]}"' _ "$completion")
[ "$words" = doctor ] || fail "completing 'doc' gave '$words'"
words=$(bash -c 'source "$1"; COMP_WORDS=(tessaline-update update --fo); COMP_CWORD=2; _tessaline_update; echo "${COMPREPLY[*]}"' _ "$completion")
[ "$words" = --force ] || fail "completing 'update --fo' gave '$words'"
[ -f "$stage/usr/share/doc/tessaline-updater/command-line.md" ] || fail "docs not installed"
echo "install_check: installed programs, man pages and completion are in order"
