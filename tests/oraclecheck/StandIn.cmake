# Runs the Oracle check against the stand-in client library, which accepts every log-on and
# statement but answers nothing: the check must run to its summary, pass only what the stand-in
# really shows, exit with a failure, and never print the password.
set(ENV{TIDEMARK_OCI_LIBRARY} "${CLIENT}")
set(ENV{TIDEMARK_ORACLE_USER} "scott")
set(ENV{TIDEMARK_ORACLE_PASSWORD} "do-not-print-me")
set(ENV{TIDEMARK_ORACLE_CONNECT} "dbhost:1521/XEPDB1")
unset(ENV{TIDEMARK_ORACLE_CONNECT2})
execute_process(COMMAND "${CHECK}" RESULT_VARIABLE result OUTPUT_VARIABLE out
                ERROR_VARIABLE err TIMEOUT 120)
set(text "${out}${err}")
if(NOT result EQUAL 1)
    message(FATAL_ERROR "the check exited with ${result}, expected 1:\n${text}")
endif()
string(REGEX MATCHALL "\npass +[A-Za-z0-9]+" passes "${out}")
string(REGEX REPLACE "\npass +" "" passes "${passes}")
if(NOT passes STREQUAL "missingLibraryIsNamed;logOn;cleanUp")
    message(FATAL_ERROR "passed against the stand-in: [${passes}], expected "
                        "[missingLibraryIsNamed;logOn;cleanUp]\n${text}")
endif()
foreach(expected "\nnot run  logOnWithTheOtherForm " "\nfail     emptyPipeGivesStatusOne "
        "\nclient library: ${CLIENT}, which does not offer OCIClientVersion\n"
        "cases: 3 passed, ")
    string(FIND "${out}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "no \"${expected}\" in the output:\n${text}")
    endif()
endforeach()
string(FIND "${text}" "do-not-print-me" at)
if(NOT at EQUAL -1)
    message(FATAL_ERROR "the check printed the password:\n${text}")
endif()
