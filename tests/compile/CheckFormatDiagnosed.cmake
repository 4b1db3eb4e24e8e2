# Runs the compiler on KB_StringFormatMisuse.cxx twice: the correct call must compile, the
# mismatched one must fail with a format diagnostic. Arguments: COMPILER, SOURCE, ROOT.
foreach(variable COMPILER SOURCE ROOT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "CheckFormatDiagnosed: ${variable} not given")
    endif()
endforeach()
set(flags -std=c++20 -fsyntax-only -Wformat -Werror=format -I${ROOT})

execute_process(COMMAND ${COMPILER} ${flags} ${SOURCE}
                RESULT_VARIABLE good_result OUTPUT_VARIABLE good_output ERROR_VARIABLE good_output)
if(NOT good_result EQUAL 0)
    message(FATAL_ERROR "the correct call does not compile:\n${good_output}")
endif()

execute_process(COMMAND ${COMPILER} ${flags} -DKV_MISUSE ${SOURCE}
                RESULT_VARIABLE bad_result OUTPUT_VARIABLE bad_output ERROR_VARIABLE bad_output)
if(bad_result EQUAL 0)
    message(FATAL_ERROR "KB_String::Formatted(\"%s\", 1.5) compiled without a format error")
endif()
if(NOT bad_output MATCHES "format")
    message(FATAL_ERROR "the compile failed, but not on the format:\n${bad_output}")
endif()
message(STATUS "mismatched format diagnosed")
