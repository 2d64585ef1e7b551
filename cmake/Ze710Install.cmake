# Where Linux hosts look for the plug-ins, decided at install time so that
# `cmake --install build --prefix DIR` works as well:
#  - the default prefix (nothing given at configure or install): a user
#    install into the plug-in format's folder in the home of whoever runs
#    the install (~/.vst, ~/.lv2);
#  - any explicit prefix: a system install into <prefix>/lib/vst or
#    <prefix>/lib/lv2;
#  - a format's install-folder cache variable, when set, wins over both.
# DESTDIR is honoured (file(INSTALL) prepends it).
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(ZE710_DEFAULT_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}" CACHE INTERNAL "")
endif()

# ze710_install_plugin(OVERRIDE_DIR USER_DIR SYSTEM_DIR TYPE PATH): installs
# PATH (TYPE SHARED_LIBRARY: a module; DIRECTORY: a bundle folder with its
# contents) into OVERRIDE_DIR, $HOME/USER_DIR or <prefix>/SYSTEM_DIR.
# Modules get rwxr-xr-x and other files rw-r--r--, whatever the umask of
# the build.
function(ze710_install_plugin override_dir user_dir system_dir type path)
  set(exe "OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE")
  if(type STREQUAL "DIRECTORY")
    set(permissions "FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ DIRECTORY_PERMISSIONS ${exe} PATTERN *.so PERMISSIONS ${exe}")
  else()
    set(permissions "PERMISSIONS ${exe}")
  endif()
  install(CODE "
    set(ze710_dir \"${override_dir}\")
    if(ze710_dir STREQUAL \"\")
      if(CMAKE_INSTALL_PREFIX STREQUAL \"${ZE710_DEFAULT_INSTALL_PREFIX}\")
        set(ze710_dir \"\$ENV{HOME}/${user_dir}\")
      else()
        set(ze710_dir \"\${CMAKE_INSTALL_PREFIX}/${system_dir}\")
      endif()
    endif()
    file(INSTALL DESTINATION \"\${ze710_dir}\" TYPE ${type} FILES \"${path}\" ${permissions})
  ")
endfunction()
