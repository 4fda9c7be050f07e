# The fuzz targets, their seeds and their options; sourced by
# scripts/fuzz-smoke and scripts/fuzz-campaign with $root the checkout.
# Seeds are read in place: the shared test corpus beside the clone (or two
# levels up from a worktree), the project's own examples and resources, the
# small hand-made files under fuzz/seeds/ and what earlier campaigns kept
# under fuzz/corpus/.

fuzz_targets=(obj mtl poser jpeg model cli)

fuzz_corpus_root() {
  local dir
  for dir in "$root/../shared/corpus" "$root/../../shared/corpus"; do
    [ -d "$dir" ] && { (cd "$dir" && pwd); return; }
  done
}

# The seed files of target $1, one per line.
fuzz_seed_files() {
  local shared
  shared=$(fuzz_corpus_root)
  {
    case $1 in
      obj) [ -n "$shared" ] && find "$shared/obj" -name '*.obj' -size -256k
           echo "$root/examples/brush_mixed.obj" ;;
      mtl) [ -n "$shared" ] && find "$shared/obj" -name '*.mtl'
           echo "$root/examples/scalp_hair.mtl" ;;
      poser) find "$root/tests/data/poser" -type f ;;
      jpeg) [ -n "$shared" ] && find "$shared/jpeg" -iname '*.jp*g' -size -64k
            ls "$root"/resources/*.jpg ;;
      model) echo "$root/resources/model.bin" ;;
    esac
    find "$root/fuzz/seeds/$1" "$root/fuzz/corpus/$1" -type f 2>/dev/null
  } | grep -v ',' | sort
}

# The kernel levels target $1 is run at, one run each (QUILLMERE_SIMD caps
# the program's choice; a level above the processor's runs as the highest it
# has): the decoder's, which reach its SIMD kernels; "" for the others.
fuzz_levels() {
  if [ "$1" = jpeg ]; then echo scalar mmx sse2 avx2; else echo ""; fi
}

# libFuzzer options of target $1 besides the time: its dictionary, the
# largest input worth growing, and a per-input time limit.
fuzz_options() {
  local max_len=4096
  [ "$1" = jpeg ] && max_len=16384
  [ "$1" = model ] && max_len=32768
  [ "$1" = cli ] && max_len=1024
  # A huge reservation that the allocator refuses is the reader's failure to
  # handle, not a finding: only memory really used counts against the limit.
  # No other process adds to the corpus, so it is not read again every
  # second (thousands of files listed and looked at: 4 % of a Poser run).
  echo "-dict=$root/fuzz/dict/$1.dict -max_len=$max_len -timeout=10 -rss_limit_mb=2560 -malloc_limit_mb=1048576 -reload=0"
}

# Runs target $1 for $2 seconds on its seeds and on corpus folder $4 (where
# it adds what it learns), keeping a failing input in folder $3; further
# arguments go to libFuzzer. The exit status is libFuzzer's: 0 when the time
# ran out without a finding.
fuzz_run() {
  local seeds="$3/seeds"
  fuzz_seed_files "$1" | paste -sd, >"$seeds"
  local seed_option=()
  [ -s "$seeds" ] && seed_option=("-seed_inputs=@$seeds")
  # shellcheck disable=SC2046
  "$root/build/fuzz/fuzz/fuzz_$1" $(fuzz_options "$1") "${seed_option[@]}" -max_total_time="$2" \
    -artifact_prefix="$3/" -print_final_stats=1 "${@:5}" "$4"
}

# The number of inputs a run's log reports.
fuzz_inputs_run() { grep -o 'number_of_executed_units: *[0-9]*' "$1" | grep -o '[0-9]*$' || echo 0; }
