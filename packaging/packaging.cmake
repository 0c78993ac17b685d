# Installation and the release artefacts, one per platform:
#   32-bit Windows  runvane-<version>-win32.zip   (CPack ZIP)
#   Linux           runvane_<version>_amd64.deb   (CPack DEB)
# `cmake --build <build> --target package` makes the one of that build;
# tools/package.sh makes both.

# The host's version (runvane --version) and version resource; the host's
# own target is defined in tools/host.
target_include_directories(runvane_host PRIVATE ${RV_GENERATED_DIR})
runvane_version_resource(runvane_host "Runvane reference host" runvane.exe APP)

set(RV_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)

set(CPACK_PACKAGE_NAME runvane)
set(CPACK_PACKAGE_VENDOR "${RUNVANE_VENDOR}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "startup-item check and repair module")
set(CPACK_PACKAGE_CONTACT "The Runvane developers <runvane@example.org>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Shipped binaries without their symbol tables (the test builds keep theirs).
set(CPACK_STRIP_FILES ON)

if(RUNVANE_WINDOWS)
  # The release archive: the programs in the top folder, beside the
  # knowledge base where the modules look for it.
  install(TARGETS runvane runvane_check runvane_host
    RUNTIME DESTINATION .
    ARCHIVE DESTINATION lib)
  install(FILES ${PROJECT_SOURCE_DIR}/data/RunLib.xml DESTINATION common/config/check)
  install(FILES ${PROJECT_SOURCE_DIR}/include/runvane.h DESTINATION include)
  install(FILES ${PROJECT_SOURCE_DIR}/editions/runvane.def ${PROJECT_SOURCE_DIR}/editions/runvane_check.def
    DESTINATION lib)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/check_and_repair.c DESTINATION examples)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/NOTICE DESTINATION . RENAME NOTICE.txt)
  install(FILES ${RV_PACKAGING}/third-party/xerces-c/LICENSE ${RV_PACKAGING}/third-party/xerces-c/NOTICE
    DESTINATION third-party/xerces-c)
  install(FILES ${RV_PACKAGING}/third-party/mingw-w64/COPYING
    DESTINATION third-party/mingw-w64)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME runvane-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  # The Debian package. Modules in the multiarch library folder; the
  # reference host in a private folder beside links to them (it loads the
  # module beside itself) and reached through /usr/bin/runvane; the
  # knowledge base in /usr/share/runvane, linked as the modules'
  # common/config/check folder.
  if(CMAKE_LIBRARY_ARCHITECTURE)
    set(RV_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
  else()
    set(RV_LIBDIR lib)
  endif()
  install(TARGETS runvane runvane_check LIBRARY DESTINATION ${RV_LIBDIR})
  install(TARGETS runvane_host RUNTIME DESTINATION ${RV_LIBDIR}/runvane)
  install(FILES ${PROJECT_SOURCE_DIR}/data/RunLib.xml DESTINATION share/runvane)
  install(FILES ${PROJECT_SOURCE_DIR}/include/runvane.h DESTINATION include)
  install(FILES ${RV_PACKAGING}/deb/copyright DESTINATION share/doc/runvane)

  # The manual page from the host's own --help and --version, and the
  # package's changelog, both compressed as Debian wants them.
  set(RV_MANPAGE ${CMAKE_BINARY_DIR}/packaging/runvane.1.gz)
  set(RV_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  add_custom_command(OUTPUT ${RV_MANPAGE}
    COMMAND bash ${RV_PACKAGING}/deb/make_manpage.sh $<TARGET_FILE:runvane_host> ${RV_MANPAGE}
    DEPENDS runvane_host ${RV_PACKAGING}/deb/make_manpage.sh
    VERBATIM)
  add_custom_command(OUTPUT ${RV_CHANGELOG}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${RV_PACKAGING}/deb/changelog ${RV_CHANGELOG}
    DEPENDS ${RV_PACKAGING}/deb/changelog
    VERBATIM)
  add_custom_target(runvane_package_docs ALL DEPENDS ${RV_MANPAGE} ${RV_CHANGELOG})
  install(FILES ${RV_MANPAGE} DESTINATION share/man/man1)
  install(FILES ${RV_CHANGELOG} DESTINATION share/doc/runvane)

  # Links and the pkg-config file, made at install time under the prefix
  # being installed to (relative links, so the tree can move).
  set(RV_PC_TEMPLATE ${RV_PACKAGING}/runvane.pc.in)
  install(CODE "
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(MAKE_DIRECTORY \"\${root}/bin\" \"\${root}/${RV_LIBDIR}/common/config\")
    file(CREATE_LINK ../${RV_LIBDIR}/runvane/runvane \"\${root}/bin/runvane\" SYMBOLIC)
    file(CREATE_LINK ../librunvane.so.${PROJECT_VERSION_MAJOR} \"\${root}/${RV_LIBDIR}/runvane/librunvane.so\" SYMBOLIC)
    file(CREATE_LINK ../librunvane_check.so.${PROJECT_VERSION_MAJOR} \"\${root}/${RV_LIBDIR}/runvane/librunvane_check.so\" SYMBOLIC)
    string(REGEX REPLACE \"[^/]+\" \"..\" up \"${RV_LIBDIR}/common/config\")
    file(CREATE_LINK \"\${up}/share/runvane\" \"\${root}/${RV_LIBDIR}/common/config/check\" SYMBOLIC)
    set(RV_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    set(RV_LIBDIR \"${RV_LIBDIR}\")
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    configure_file(\"${RV_PC_TEMPLATE}\" \"\${root}/${RV_LIBDIR}/pkgconfig/runvane.pc\" @ONLY)
  ")

  set(CPACK_GENERATOR DEB)
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The shared-library list and the ldconfig trigger of our own (CPack's
  # generated ones call ldconfig from maintainer scripts instead).
  configure_file(${RV_PACKAGING}/deb/shlibs.in ${CMAKE_BINARY_DIR}/packaging/shlibs @ONLY)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/packaging/shlibs ${RV_PACKAGING}/deb/triggers
    ${RV_PACKAGING}/deb/postinst ${RV_PACKAGING}/deb/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PACKAGE_DESCRIPTION "Runvane finds, classifies and repairs the programs that start with
Windows: the values of the Run-type registry keys and the files of the
startup folders. On Linux it works on Wine prefixes and other Windows
system images.

This package holds the module in its full and check-only editions, the
knowledge base, the C header and pkg-config file for host programs, and
the reference host runvane.")
endif()

include(CPack)
