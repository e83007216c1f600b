# Fails when a C++ file of ours differs from the repository's .clang-format style.
# Run as: cmake -DROOT=<source dir> -P CheckFormat.cmake
find_program(CLANG_FORMAT NAMES clang-format clang-format-14 REQUIRED)
file(GLOB_RECURSE files
    ${ROOT}/src/*.cpp ${ROOT}/src/*.h ${ROOT}/tests/*.cpp ${ROOT}/tests/*.h
    ${ROOT}/bench/*.cpp ${ROOT}/bench/*.h ${ROOT}/fuzz/*.cpp ${ROOT}/fuzz/*.h)
execute_process(
    COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
    RESULT_VARIABLE result
    ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Files need clang-format (run scripts/format):\n${output}")
endif()
