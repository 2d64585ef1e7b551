# Installs the build tree twice into a scratch folder and checks where
# ze710.so lands: a user install (default prefix) goes to $HOME/.vst, an
# explicit prefix to <prefix>/lib/vst. Run with -DBUILD_DIR=... -DSCRATCH=...
# -DPREFIX=<configured prefix> -DDEFAULT_PREFIX=<the default one, or empty>.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")

# User install: DESTDIR keeps it inside the scratch folder.
set(ENV{HOME} "/home/ze710-install-check")
set(ENV{DESTDIR} "${SCRATCH}/destdir")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "user install failed: ${rc}")
endif()
if(PREFIX STREQUAL DEFAULT_PREFIX)
  set(expected "${SCRATCH}/destdir/home/ze710-install-check/.vst/ze710.so")
else()
  set(expected "${SCRATCH}/destdir${PREFIX}/lib/vst/ze710.so")  # configured with a prefix
endif()
if(NOT EXISTS "${expected}")
  message(FATAL_ERROR "install without --prefix did not create ${expected}")
endif()

# System install with an explicit prefix.
unset(ENV{DESTDIR})
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${SCRATCH}/usr"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "prefix install failed: ${rc}")
endif()
if(NOT EXISTS "${SCRATCH}/usr/lib/vst/ze710.so")
  message(FATAL_ERROR "prefix install did not put ze710.so into <prefix>/lib/vst")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
