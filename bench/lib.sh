# What the whole-process benchmark scripts share; sourced after `root` is set:
#   im                   ImageMagick's convert (the Debian one where a second is on the PATH)
#   make_work PREFIX     a temporary folder $work on /dev/shm (/tmp where that is missing), so
#                        that writing outputs costs no disk time; removed at exit
#   measure OUT CMD...   runs CMD with its standard output to OUT (its standard error kept in
#                        $work/stderr.txt); prints "wall-ms cpu-ms peak-rss-kB"
#   keep_best KEY "W C R" the best wall and CPU time and the highest peak memory per KEY, in
#                        best_wall, best_cpu and best_rss
im=convert
[[ -x /usr/bin/convert ]] && im=/usr/bin/convert

make_work() {
  local base=/tmp
  [[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
  work="$(mktemp -d -p "$base" "$1.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
}

measure() {
  python3 "$root/bench/formats/measure.py" "$@" 2>"$work/stderr.txt" || { cat "$work/stderr.txt" >&2; exit 1; }
}

declare -A best_wall best_cpu best_rss
keep_best() {
  local key=$1 wall cpu rss
  read -r wall cpu rss <<<"$2"
  if [[ -z "${best_wall[$key]:-}" ]] || awk -v a="$wall" -v b="${best_wall[$key]}" 'BEGIN { exit !(a < b) }'; then
    best_wall[$key]=$wall
  fi
  if [[ -z "${best_cpu[$key]:-}" ]] || awk -v a="$cpu" -v b="${best_cpu[$key]}" 'BEGIN { exit !(a < b) }'; then
    best_cpu[$key]=$cpu
  fi
  if [[ -z "${best_rss[$key]:-}" ]] || ((rss > best_rss[$key])); then best_rss[$key]=$rss; fi
  return 0
}
