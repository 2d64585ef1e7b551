# Installs the build tree twice into a scratch folder and checks where
# ze710.so, the ze710.lv2 and ZE710.vst3 bundles and ze710.clap land: a user
# install (default prefix) goes to $HOME/.vst, $HOME/.lv2, $HOME/.vst3 and
# $HOME/.clap, an explicit prefix to <prefix>/lib/vst, <prefix>/lib/lv2,
# <prefix>/lib/vst3 and <prefix>/lib/clap. Run with -DBUILD_DIR=... -DSCRATCH=...
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
  set(expected "${SCRATCH}/destdir/home/ze710-install-check/.vst/ze710.so"
               "${SCRATCH}/destdir/home/ze710-install-check/.lv2/ze710.lv2/ze710_lv2.so"
               "${SCRATCH}/destdir/home/ze710-install-check/.lv2/ze710.lv2/ze710_lv2_ui.so"
               "${SCRATCH}/destdir/home/ze710-install-check/.vst3/ZE710.vst3/Contents/x86_64-linux/ZE710.so"
               "${SCRATCH}/destdir/home/ze710-install-check/.clap/ze710.clap")
else()
  set(expected "${SCRATCH}/destdir${PREFIX}/lib/vst/ze710.so"  # configured with a prefix
               "${SCRATCH}/destdir${PREFIX}/lib/lv2/ze710.lv2/ze710_lv2.so"
               "${SCRATCH}/destdir${PREFIX}/lib/lv2/ze710.lv2/ze710_lv2_ui.so"
               "${SCRATCH}/destdir${PREFIX}/lib/vst3/ZE710.vst3/Contents/x86_64-linux/ZE710.so"
               "${SCRATCH}/destdir${PREFIX}/lib/clap/ze710.clap")
endif()
foreach(file ${expected})
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "install without --prefix did not create ${file}")
  endif()
endforeach()

# System install with an explicit prefix.
unset(ENV{DESTDIR})
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${SCRATCH}/usr"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "prefix install failed: ${rc}")
endif()
if(NOT EXISTS "${SCRATCH}/usr/lib/vst/ze710.so" OR NOT EXISTS "${SCRATCH}/usr/lib/lv2/ze710.lv2/manifest.ttl"
   OR NOT EXISTS "${SCRATCH}/usr/lib/vst3/ZE710.vst3/Contents/x86_64-linux/ZE710.so"
   OR NOT EXISTS "${SCRATCH}/usr/lib/clap/ze710.clap")
  message(FATAL_ERROR "prefix install did not put ze710.so into <prefix>/lib/vst, ze710.lv2 into <prefix>/lib/lv2, ZE710.vst3 into <prefix>/lib/vst3 and ze710.clap into <prefix>/lib/clap")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
