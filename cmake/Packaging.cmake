# `cpack` in a build directory makes the package for the build's platform:
# a .deb for Linux, a .zip holding lumo.exe and its documents for Windows.
# The files come from the install rules of cmake/Install.cmake.
set(LUMO_PACKAGE_MAINTAINER "Tovrel" CACHE STRING
    "Maintainer field of the packages, \"Name <address>\"")

set(CPACK_PACKAGE_NAME lumo)
set(CPACK_PACKAGE_VENDOR Tovrel)
set(CPACK_PACKAGE_CONTACT ${LUMO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hex viewer that colors a dump by file structure")
# Lines of at most 80 characters, as dpkg shows them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "lumo is a console hex viewer. A format parser (ELF, PE, QOI, or plain"
  "data) gives every byte of the input a palette slot, and the dump paints"
  "each byte in its slot's color, so headers, tables, segments and sections"
  "stand out. Identical lines collapse, a raw mode writes bare hex, and a"
  "configuration file sets the defaults and the palette.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # lumo-<version>-win64.zip, with everything in a folder of that name.
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # lumo_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # dpkg-shlibdeps (dpkg-dev) reads the versions that the binary needs from
  # its libraries; without it, name the libraries that a g++ build links.
  find_program(LUMO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(LUMO_FILE_COMMAND file)
  if(LUMO_DPKG_SHLIBDEPS AND LUMO_FILE_COMMAND)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
  endif()
endif()

include(CPack)
