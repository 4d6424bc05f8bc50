# Release builds are hardened as the distribution hardens its packages: these flags, and what
# dpkg-buildflags adds with all its hardening features when it is there (Debian 12's does not
# know stack clash protection yet). Its optimisation, debug and path-mapping flags are left out
# (those stay the build type's). It runs in a fixed environment, so that every configure run gets
# the same flags whatever DEB_* variables the caller has set: flags that differ between two runs
# would make the second one rebuild everything.
set(hardening_compile -D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection)
set(hardening_link -Wl,-z,relro -Wl,-z,now)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND env -i PATH=$ENV{PATH} DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${DPKG_BUILDFLAGS} --get ${kind}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        list(FILTER flags EXCLUDE REGEX "^-(g|O.*|f[a-z]*-prefix-map=.*)$")
        if(kind STREQUAL LDFLAGS)
            list(APPEND hardening_link ${flags})
        else()
            list(APPEND hardening_compile ${flags})
        endif()
    endforeach()
    list(REMOVE_DUPLICATES hardening_compile)
    list(REMOVE_DUPLICATES hardening_link)
endif()
# Only where the build type optimises: _FORTIFY_SOURCE needs it. TIDEMARK_HARDENED is 1 there.
set(TIDEMARK_HARDENED $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
add_compile_options("$<${TIDEMARK_HARDENED}:${hardening_compile}>")
add_link_options("$<${TIDEMARK_HARDENED}:${hardening_link}>")
message(STATUS "Hardening of optimised builds: ${hardening_compile} ${hardening_link}")
