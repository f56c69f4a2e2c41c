# libLattix.so from the outside, run by CTest:
#   CHECK=symbols  the library exports the five functions and nothing else
#   CHECK=smoke    its file exports, driven by lattix_smoke
#   CHECK=cli      quavix-cli convert to and from ".q5t"
# For smoke and cli a generated score goes to text and back; the result must
# open and show the same statistics (a score this small gets no graphics
# wedges, the only generated objects the text form drops).

if(CHECK STREQUAL "symbols")
  execute_process(COMMAND "${NM}" -D --defined-only "${LIB}" RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  string(REGEX MATCHALL "[^\n ]+\n" names "${out}")
  string(REPLACE "\n" "" names "${names}")
  list(SORT names)
  set(expected getScoreVersion scoreExportXML scoreExportXMLFile scoreImportXML scoreImportXMLFile)
  if(NOT rc EQUAL 0 OR NOT names STREQUAL expected)
    message(FATAL_ERROR "libLattix.so exports:\n${out}")
  endif()
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run expect_ok)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expect_ok AND NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}${err}")
  elseif(NOT expect_ok AND rc EQUAL 0)
    message(FATAL_ERROR "should have failed: ${ARGN}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

# The statistics lines without the first one (the file name).
function(statistics file var)
  run(TRUE "${CLI}" info "${file}")
  string(FIND "${out}" "\n" eol)
  math(EXPR eol "${eol} + 1")
  string(SUBSTRING "${out}" ${eol} -1 rest)
  if(NOT rest MATCHES "对象总数: [1-9]")
    message(FATAL_ERROR "no objects in ${file}:\n${out}")
  endif()
  set(${var} "${rest}" PARENT_SCOPE)
endfunction()

function(expect_missing file)
  if(EXISTS "${file}")
    message(FATAL_ERROR "${file} should not have been written")
  endif()
endfunction()

set(score "${WORK}/generated.q5s")
run(TRUE "${CLI}" generate "${score}" --systems 2 --staves 3 --measures 2 --notes 3 --seed 7)
statistics("${score}" before)

if(CHECK STREQUAL "smoke")
  run(TRUE "${SMOKE}" version)
  if(NOT out STREQUAL "3.8.0.0\n")
    message(FATAL_ERROR "getScoreVersion: ${out}")
  endif()
  run(TRUE "${SMOKE}" export "${score}" "${WORK}/generated.q5t")
  run(TRUE "${SMOKE}" import "${WORK}/generated.q5t" "${WORK}/back.q5s")
  statistics("${WORK}/back.q5s" after)

  # An unreadable source writes nothing.
  run(FALSE "${SMOKE}" export "${WORK}/missing.q5s" "${WORK}/none.q5t")
  expect_missing("${WORK}/none.q5t")
  run(FALSE "${SMOKE}" import "${WORK}/missing.q5t" "${WORK}/none.q5s")
  expect_missing("${WORK}/none.q5s")
elseif(CHECK STREQUAL "cli")
  run(TRUE "${CLI}" convert "${score}" "${WORK}/generated.q5t")
  run(TRUE "${CLI}" convert "${WORK}/generated.q5t" "${WORK}/back.q5s")
  statistics("${WORK}/back.q5s" after)

  # Failures: one line on stderr, no output file.
  run(FALSE "${CLI}" convert "${WORK}/missing.q5t" "${WORK}/none.q5s")
  if(NOT err MATCHES "^quavix-cli: [^\n]+\n$")
    message(FATAL_ERROR "expected one line on stderr, got:\n${err}")
  endif()
  expect_missing("${WORK}/none.q5s")
  file(WRITE "${WORK}/plain.q5t" "[Other]\r\nKey=1\r\n")
  run(FALSE "${CLI}" convert "${WORK}/plain.q5t" "${WORK}/none.q5s")
  expect_missing("${WORK}/none.q5s")
  run(FALSE "${CLI}" convert "${WORK}/missing.q5s" "${WORK}/none.q5t")
  expect_missing("${WORK}/none.q5t")
else()
  message(FATAL_ERROR "unknown CHECK '${CHECK}'")
endif()

if(NOT before STREQUAL after)
  message(FATAL_ERROR "statistics differ after the text round trip:\n${before}\n---\n${after}")
endif()
file(REMOVE_RECURSE "${WORK}")
