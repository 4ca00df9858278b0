# Helpers of the benchmarks that crawl the generated modern site beside wget
# and wget2 (sourced, not run: make bench runs only bench/*.sh). The caller
# sets work and server_pid before it calls served.
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Picture files below a folder, as paths relative to the site's root; the
# types after the folder (default: jpg jpeg png gif).
pictures_of() {
  local dir=$1
  shift
  local types=("$@")
  [ ${#types[@]} -gt 0 ] || types=(jpg jpeg png gif)
  local names=() type
  for type in "${types[@]}"; do names+=(-o -iname "*.$type"); done
  (cd "$dir" && find . -type f \( "${names[@]:1}" \) | sed 's|^\./||' | LC_ALL=C sort)
}
# The server's counts so far (it prints them on SIGUSR1).
served() {
  kill -USR1 "$server_pid"
  sleep 0.2
  tail -n 1 "$work/server.out"
}
