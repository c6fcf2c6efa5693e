# Install rules: `cmake --install BUILD --prefix P` (DESTDIR honoured) puts the
# two programs and the resolve-only link in P/bin, the manual pages in
# P/share/man/man1, the README and a copy of the sample configuration in
# P/share/doc/parvalyte, and the sample configuration in P/etc unless the
# operator already has one there.
#
# The directories the programs look in by default (configuration file,
# Terrabase file) are compiled in from the prefix given at configure time:
# see src/driver/CMakeLists.txt and src/resolve/CMakeLists.txt.
include(GNUInstallDirs)

install(TARGETS parvalyte parvakeep RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The build leaves parvalookup as a relative link to parvalyte; installing the
# link itself keeps it relative, so the installed tree can be moved whole.
install(FILES ${CMAKE_BINARY_DIR}/parvalookup DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/docs/man/parvalyte.1 ${PROJECT_SOURCE_DIR}/docs/man/parvakeep.1
              ${PROJECT_SOURCE_DIR}/docs/man/parvalookup.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The doc copy is always the current sample, also when the live file in etc is
# the operator's own.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/pl-parvalyte.conf
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The live configuration file is the operator's once it exists: a later install
# never replaces it, nor anything standing at its name (a link included).
# Installed into the configured prefix it goes where the program looks for it
# (for /usr that is /etc, not /usr/etc); under another --prefix it goes below
# that prefix.
install(CODE "set(parva_configured_prefix \"${CMAKE_INSTALL_PREFIX}\")
set(parva_full_sysconfdir \"${CMAKE_INSTALL_FULL_SYSCONFDIR}\")
set(parva_sysconfdir \"${CMAKE_INSTALL_SYSCONFDIR}\")
set(parva_sample \"${PROJECT_SOURCE_DIR}/docs/pl-parvalyte.conf\")")
install(CODE [[
if(IS_ABSOLUTE "${parva_sysconfdir}")
  set(parva_etc "${parva_sysconfdir}")
elseif(CMAKE_INSTALL_PREFIX STREQUAL parva_configured_prefix)
  set(parva_etc "${parva_full_sysconfdir}")
else()
  set(parva_etc "${CMAKE_INSTALL_PREFIX}/${parva_sysconfdir}")
endif()
set(parva_live "$ENV{DESTDIR}${parva_etc}/pl-parvalyte.conf")
if(EXISTS "${parva_live}" OR IS_SYMLINK "${parva_live}")
  message(STATUS "Keeping: ${parva_live} (the sample is in the doc directory)")
else()
  # file(INSTALL) puts DESTDIR in front of the destination itself.
  file(INSTALL DESTINATION "${parva_etc}" TYPE FILE FILES "${parva_sample}")
endif()
]])
