# Runs one fuzz target for SECONDS over its corpus; fails on any finding.
#   cmake -DTREE=out/fuzz -DTARGET=walk -DCORPUS=tests/fuzz/corpus/walk -DSECONDS=60 -P run.cmake
# New inputs go to TREE/corpus/TARGET, never into the committed seeds;
# a finding is kept as TREE/findings/TARGET-crash-... and named in the output.
set(work ${TREE}/corpus/${TARGET})
set(findings ${TREE}/findings)
file(MAKE_DIRECTORY ${work} ${findings})
if(NOT DEFINED RUNS)
  set(RUNS -1)
endif()
# Inputs long enough for the codec's 64 KiB output blocks and for the match
# finder's window to wrap more than once.
set(max_len_expand 16384)
set(max_len_roundtrip 20000)
set(max_len)
if(DEFINED max_len_${TARGET})
  # From the start: the compressor's costs hardly grow with the length.
  set(max_len -max_len=${max_len_${TARGET}})
  if("${TARGET}" STREQUAL "roundtrip")
    list(APPEND max_len -len_control=0)
  endif()
endif()
execute_process(
  COMMAND ${TREE}/tests/fuzz/fuzz_${TARGET} ${work} ${CORPUS}
          -max_total_time=${SECONDS} -runs=${RUNS} -close_fd_mask=3 -print_final_stats=1
          ${max_len} -rss_limit_mb=2048 -timeout=20 -artifact_prefix=${findings}/${TARGET}-
  RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "fuzz ${TARGET}: a finding (exit ${rc}); see ${findings}")
endif()
