# Fails when a tracked C++ source differs from what clang-format makes of it.
execute_process(COMMAND ${GIT} ls-files -- "*.h" "*.cpp"
                WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE files RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(STATUS "not a git checkout; formatting not checked")
    return()
endif()
string(REPLACE "\n" ";" files "${files}")
set(unformatted "")
foreach(file IN LISTS files)
    if(file STREQUAL "")
        continue()
    endif()
    execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${file}
                    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status
                    OUTPUT_QUIET ERROR_QUIET)
    if(NOT status EQUAL 0)
        list(APPEND unformatted ${file})
    endif()
endforeach()
if(unformatted)
    message(FATAL_ERROR "not clang-formatted (run 'make format'): ${unformatted}")
endif()
