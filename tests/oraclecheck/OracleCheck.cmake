# Runs the Oracle check without a server. Without a log-on it must say what to set and fail;
# against the stand-in client library, which accepts every log-on and statement but answers
# nothing, it must run to its summary, pass only what the stand-in really shows (the typed item
# block it accepts but never runs is not "compiled"), and fail. It
# never prints the password.
function(run_check)
    execute_process(COMMAND "${CHECK}" RESULT_VARIABLE result OUTPUT_VARIABLE out
                    ERROR_VARIABLE err TIMEOUT 120)
    set(result ${result} PARENT_SCOPE)
    set(text "${out}${err}" PARENT_SCOPE)
    string(FIND "${out}${err}" "do-not-print-me" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "the check printed the password:\n${out}${err}")
    endif()
endfunction()
function(expect text)
    foreach(expected ${ARGN})
        string(FIND "${text}" "${expected}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "no \"${expected}\" in the output:\n${text}")
        endif()
    endforeach()
endfunction()

foreach(name USER PASSWORD CONNECT CONNECT2)
    unset(ENV{TIDEMARK_ORACLE_${name}})
endforeach()
run_check()
if(result EQUAL 0 OR text MATCHES "Start testing")
    message(FATAL_ERROR "the check ran without a log-on (${result}):\n${text}")
endif()
expect("${text}"
       "not set: TIDEMARK_ORACLE_USER, TIDEMARK_ORACLE_PASSWORD, TIDEMARK_ORACLE_CONNECT."
       TIDEMARK_ORACLE_CONNECT2)

set(ENV{TIDEMARK_ORACLE_USER} "scott")
set(ENV{TIDEMARK_ORACLE_PASSWORD} "do-not-print-me")
set(ENV{TIDEMARK_OCI_LIBRARY} "${CLIENT}")
set(ENV{TIDEMARK_ORACLE_CONNECT} "dbhost:1521/XEPDB1")
run_check()
string(REGEX MATCHALL "\npass +[A-Za-z0-9]+" passes "${text}")
string(REGEX REPLACE "\npass +" "" passes "${passes}")
if(NOT result EQUAL 1 OR NOT passes STREQUAL "missingLibraryIsNamed;logOn;cleanUp")
    message(FATAL_ERROR "against the stand-in: exit ${result}, passed [${passes}], expected 1 "
                        "and [missingLibraryIsNamed;logOn;cleanUp]\n${text}")
endif()
expect("${text}" "\nnot run  logOnWithTheOtherForm " "\nfail     emptyPipeGivesStatusOne "
       "\nfail     typedItemBlockCompiles ")
# The summary says plainly what only a real server can tell, and which server and client.
expect("${text}" "\nclient library: " "/libclntsh.so.19.1, " "\nserver:         "
       "\ntyped item block: ran, but :v_typ was not written\n" "\nread-ahead block: "
       "\nDATE item: " "\nRAW item:  " "\nROWID item: ")
