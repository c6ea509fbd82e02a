#include "tests/support/FakeNmcli.h"

#include <sys/stat.h>

#include "tests/support/TempHome.h"

namespace qlm::test {

namespace {

constexpr const char* kScript = R"SH(#!/bin/bash
dir="$(dirname "$0")"
printf '%s\n' "$*" >> "$dir/log"
printf '%s\n' "$LC_ALL" >> "$dir/locale"
if [ -e "$dir/notrunning" ]; then
  echo "Error: NetworkManager is not running." >&2
  exit 8
fi
args=("$@")
case "$*" in
  "-t -f RUNNING general") echo running ;;
  "-t -f NAME,TYPE connection show") cat "$dir/profiles" 2>/dev/null ;;
  "-t -f NAME,STATE connection show --active") cat "$dir/active" 2>/dev/null ;;
  "-t -f DEVICE,STATE,CONNECTION device") cat "$dir/device" 2>/dev/null ;;
  "-s -g "*" connection show id "*)
    f="$dir/settings/${args[6]}/${args[2]}"
    if [ ! -d "$dir/settings/${args[6]}" ]; then
      echo "Error: ${args[6]} - no such connection profile." >&2
      exit 10
    fi
    [ -e "$f" ] && cat "$f"
    ;;
  "-w "*" connection up id "*)
    if [ "${args[6]}" = passwd-file ]; then
      cat "${args[7]}" >> "$dir/secrets"
      stat -c %a "${args[7]}" >> "$dir/secrets"
    fi
    [ -e "$dir/up.hang" ] && exec sleep 30
    [ -e "$dir/up.sleep" ] && sleep "$(cat "$dir/up.sleep")"
    [ -e "$dir/up.out" ] && cat "$dir/up.out"
    rc=$(cat "$dir/up.rc" 2>/dev/null || echo 0)
    [ "$rc" = 0 ] && echo "${args[5]}:activated" >> "$dir/active"
    exit "$rc"
    ;;
  "connection modify id "*)
    p="$dir/settings/${args[3]}"
    if [ ! -d "$p" ]; then
      echo "Error: unknown connection '${args[3]}'." >&2
      exit 10
    fi
    for ((i = 4; i + 1 < ${#args[@]}; i += 2)); do printf '%s\n' "${args[i+1]}" > "$p/${args[i]}"; done
    ;;
  "connection down id "*)
    grep -v -x -F "${args[3]}:activated" "$dir/active" > "$dir/active.new" 2>/dev/null
    mv "$dir/active.new" "$dir/active"
    ;;
  *) echo "Error: unexpected arguments" >&2; exit 2 ;;
esac
)SH";

}  // namespace

bool WriteFakeNmcli(const std::string& path) {
  return WriteFileBytes(path, kScript) && ::chmod(path.c_str(), 0755) == 0;
}

}  // namespace qlm::test
