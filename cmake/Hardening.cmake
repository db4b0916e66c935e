# The hardening flags Debian builds every package with (dpkg-buildflags with
# hardening=+all: stack protector, fortified functions, format checks, full
# RELRO with immediate binding; Debian's compiler makes PIE by itself), for the program and the package made from
# this build. Only those flags are taken: the optimisation stays ours. Left
# out of sanitizer and fuzzing builds, which bring their own instrumentation.
# scripts/build.sh, whose build the package is made from, turns it on.
option(FERNWEAVE_HARDENING "Build with Debian's hardening flags" OFF)
if(NOT FERNWEAVE_HARDENING OR FERNWEAVE_SANITIZE OR FERNWEAVE_FUZZ OR FERNWEAVE_TSAN)
  return()
endif()

# What dpkg-buildflags gives on Debian 12, for machines without it.
set(_compile -fstack-protector-strong -fstack-clash-protection -fcf-protection -Wformat -Werror=format-security
    -D_FORTIFY_SOURCE=2)
set(_link -Wl,-z,relro -Wl,-z,now)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS)
  set(_compile "")
  set(_link "")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(_flags UNIX_COMMAND "${_flags}")
    foreach(flag IN LISTS _flags)
      if(flag MATCHES "^-Wl,-z,")
        list(APPEND _link ${flag})
      elseif(flag MATCHES "^(-fstack-|-fcf-protection|-D_FORTIFY_SOURCE|-Wformat|-Werror=format-security)")
        list(APPEND _compile ${flag})
      endif()
    endforeach()
  endforeach()
endif()
add_compile_options(${_compile})
add_link_options(${_link})
list(JOIN _compile " " _compile_text)
list(JOIN _link " " _link_text)
message(STATUS "Hardening: ${_compile_text} ${_link_text}")
