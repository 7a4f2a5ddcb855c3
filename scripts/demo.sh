#!/usr/bin/env bash
# Installs what is needed, builds, and shows what keldar is for: two
# simulated computers, Анна and Борис, keep their folders Документы identical
# through the carrier demo/carrier. Each has its own identification (its own
# XDG_CONFIG_HOME, demo/<name>/config) and its own folder (demo/<name>/Документы).
#
#   ./scripts/demo.sh            the whole story, on a fresh demo/ each time
#   ./scripts/demo.sh --window   the window on the demo carrier, as Анна
#   ./scripts/demo.sh OPTIONS    keldar with these options (--compare, --sync,
#                                --objects ...) on the demo carrier, as Анна
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null
root=$PWD
keldar=$root/${BUILD_DIR:-build}/programs/keldar
demo=$root/demo
carrier=$demo/carrier
anna=$demo/anna/Документы
boris=$demo/boris/Документы

# keldar as computer $1 (anna or boris) on the carrier, its terminal output
# kept in demo/last.out (log lines) and demo/last.err (questions, messages).
as() {
  local who=$1 status=0
  shift
  (cd "$carrier" && env -u TEMP XDG_CONFIG_HOME="$demo/$who/config" "$keldar" "$@") \
    >"$demo/last.out" 2>"$demo/last.err" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "    keldar ended with status $status:" >&2
    sed 's/^/    /' "$demo/last.out" "$demo/last.err" >&2
    exit 1
  fi
}
say() { printf '\n== %s\n' "$*"; }
# The lines of the last run that match the extended regular expression $1.
show() { grep -E "$1" "$demo/last.out" | sed 's/^/    /' || true; }
# Per-file lines of the last Synchronize (what was copied or deleted).
files() {
  local pattern='^(=\+ |=> |\+=|<=|x=|--[xe ] ?[^ -]|RC|RDx |EC=|ERC=|ERD=|[=xe][x-] |<[1-4] )'
  # Folders (names ending in \) are left out.
  grep -E "$pattern" "$demo/last.out" | grep -v '\\$' | sed 's/^/    /' |
    grep . || echo "    (no file travels)"
}
# A file's contents and time: `put FILE TEXT MINUTES-AGO`.
put() {
  mkdir -p "$(dirname "$1")"
  printf '%s\n' "$2" >"$1"
  touch -d "@$(($(date +%s) - 60 * $3))" "$1"
}

story() {
  rm -rf "$demo"
  mkdir -p "$carrier" "$boris"
  put "$anna/План.txt" "1. Проверить носитель" 120
  put "$anna/Отчёт.txt" "Выручка выросла на 4%." 120
  put "$anna/Архив/Отчёт 2025.txt" "Прошлый год." 120

  say "Анна's computer starts keldar on the carrier for the first time: it is added to the computer table."
  as anna --batch --name Анна
  show 'идентификатор компьютера'

  say "Анна makes her folder an object (--add-object, with its subfolders: --nested) and lets every file travel (one mask *.*)."
  as anna --add-object --path "$anna/*.*" --nested
  show 'Новый объект|Добавлено'
  as anna --add-mask '*.*'
  show 'Добавлено'
  as anna --objects
  show '^ID=|^ *\*? '

  say "Анна synchronises. Nothing travels yet: no other computer takes part in the object, so nobody needs her files; keldar records them in the object's list."
  as anna --sync
  files

  say "Борис's computer joins, gives its own folder for object 1 (--set-path; asked whether the object gets a new id, it answers No) and synchronises: his empty folder is recorded."
  as boris --batch --name Борис
  show 'идентификатор компьютера'
  as boris --object 1 --set-path "$boris/*.*"
  sed 's/^/    /' "$demo/last.err"
  show 'Объект 1 изменен|Изменено'
  as boris --sync
  files

  say "Анна synchronises again: now keldar knows that Борис lacks her files and puts them on the carrier (=+)."
  as anna --sync
  files

  say "Борис synchronises and receives them (+=); nobody else needs the carrier copies, so they leave the carrier (x)."
  as boris --sync
  files
  (cd "$boris" && find . -type f | sort | sed 's/^/    Борис has /')

  say "Борис edits План.txt. His Synchronize puts it on the carrier; Анна's brings it into her folder (<=)."
  put "$boris/План.txt" "1. Проверить носитель
2. Синхронизировать" 60
  as boris --sync
  files
  as anna --sync
  files
  sed 's/^/    Анна'\''s План.txt: /' "$anna/План.txt"

  say "Анна deletes Отчёт.txt. Her Synchronize turns the deletion into a delete command on the carrier (=x); Борис's deletes his copy (x=)."
  rm "$anna/Отчёт.txt"
  as anna --sync
  files
  as boris --sync
  files

  say "Both change План.txt. Борис synchronises first, so his version is on the carrier; Анна's copy changed too, so her Synchronize asks before replacing it, and --answer yes takes Борис's version."
  put "$anna/План.txt" "Версия Анны" 30
  put "$boris/План.txt" "Версия Бориса" 20
  as boris --sync
  files
  as anna --sync --answer yes
  sed 's/^/    /' "$demo/last.err"
  files

  say "The two folders are identical again:"
  diff -r "$anna" "$boris" && (cd "$anna" && find . -type f | sort | sed 's/^/    /')
  say "The carrier's log is $carrier/KELDAR.LOG; ./scripts/demo.sh --window opens the window on this carrier as Анна."
}

case "${1:-}" in
  "")
    story
    ;;
  --window)
    [ -d "$carrier" ] || story
    cd "$carrier"
    XDG_CONFIG_HOME=$demo/anna/config exec "$keldar"
    ;;
  *)
    [ -d "$carrier" ] || story
    cd "$carrier"
    XDG_CONFIG_HOME=$demo/anna/config exec "$keldar" "$@"
    ;;
esac
