# Makes the test archive the way the plug-in's build packs its resources:
# file(ARCHIVE_CREATE ... FORMAT zip), which deflates each file and writes
# its sizes after the data (a data descriptor). Besides the fixture's files
# it holds big.txt, long and varied enough to be compressed with dynamic
# Huffman codes, and one.txt, short enough for fixed codes.
#   cmake -DSOURCE=<fixture folder> -DSTAGE=<scratch folder> -DOUTPUT=<zip> -P MakeFixtureZip.cmake
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}/nested")
file(COPY "${SOURCE}/frame.xml" "${SOURCE}/res.xml" DESTINATION "${STAGE}")
set(_big "")
foreach(_i RANGE 1 1500)
  math(EXPR _square "${_i} * ${_i} % 977")
  string(APPEND _big "line ${_i}: ${_square} the quick brown fox ${_square} jumps\n")
endforeach()
file(WRITE "${STAGE}/big.txt" "${_big}")
file(WRITE "${STAGE}/one.txt" "a")
file(WRITE "${STAGE}/nested/deep.xml" "<layout/>")
get_filename_component(_out_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${_out_dir}")
# Relative paths inside the archive: run from the stage folder.
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E chdir "${STAGE}" "${CMAKE_COMMAND}" -DOUTPUT=${OUTPUT} -P "${CMAKE_CURRENT_LIST_DIR}/ArchiveStage.cmake"
  RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "the test archive could not be made")
endif()
