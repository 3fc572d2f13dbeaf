# Release builds (the package's included) carry the distribution's hardening: the flags
# dpkg-buildflags gives with every hardening feature on (fortified calls, stack protector,
# format checks, -z relro -z now), and position-independent executables. Optimisation and debug
# information stay the build type's; -ffile-prefix-map and -Wdate-time are reproducibility
# settings, not hardening, and -Wdate-time would fail the About box's build date under -Werror.
# Without dpkg-buildflags the same flags are set as Debian 12 gives them.
include(CheckPIESupported)

function(kestrova_buildflags kind fallback out)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  set(flags "${fallback}")
  if(DPKG_BUILDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^(-g.*|-O.*|-ffile-prefix-map=.*|-Wdate-time)$")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT KESTROVA_FUZZ)
  kestrova_buildflags(CPPFLAGS "-D_FORTIFY_SOURCE=2" cppflags)
  kestrova_buildflags(CXXFLAGS "-fstack-protector-strong -Wformat -Werror=format-security"
                      cxxflags)
  kestrova_buildflags(LDFLAGS "-Wl,-z,relro -Wl,-z,now" ldflags)
  add_compile_options(${cppflags} ${cxxflags})
  add_link_options(${ldflags})
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
