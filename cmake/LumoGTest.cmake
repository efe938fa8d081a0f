# GoogleTest for the test suites: the installed package for native builds.
# A cross build has no GoogleTest for its target, so it builds one from the
# sources of Debian's googletest package.
if(CMAKE_CROSSCOMPILING)
  set(LUMO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
      "GoogleTest sources, built for the target of a cross build")
  if(NOT EXISTS ${LUMO_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${LUMO_GTEST_SOURCE_DIR} "
                        "(Debian package googletest); set LUMO_GTEST_SOURCE_DIR")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # SYSTEM: its headers are not held to our warning flags.
  add_subdirectory(${LUMO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # The sources define the targets GTest::gtest and GTest::gtest_main, as
  # the package does.
else()
  find_package(GTest REQUIRED)
endif()
