# ze710_host_module(TARGET VERSION_SCRIPT): link options of a module that a
# host loads into its own process. The version script exports the entry
# points only (on top of hidden visibility), so the module cannot interpose
# on the host's or other plug-ins' symbols; with -z defs every symbol must
# resolve inside the module or its listed libraries, except in sanitized
# builds, whose runtimes come from the executable.
function(ze710_host_module target version_script)
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${version_script}
    -Wl,--as-needed
    -Wl,-z,relro,-z,now)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${version_script})
  if(NOT ZE710_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,-z,defs)
  endif()
endfunction()
