# The minimal libavcodec of the Windows and web builds: built once per Debian version into a cache
# outside the clone by scripts/build-avcodec.sh (a few minutes the first time), found there after.
function(kvp_avcodec_prefix target out_var)
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/build-avcodec.sh ${target}
                  OUTPUT_VARIABLE prefix OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "libavcodec for ${target} could not be built (scripts/build-avcodec.sh)")
  endif()
  string(REGEX REPLACE ".*\n" "" prefix "${prefix}")
  message(STATUS "libavcodec for ${target}: ${prefix}")
  set(${out_var} "${prefix}" PARENT_SCOPE)
endfunction()
