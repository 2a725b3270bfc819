# Installation and the Debian package.
#
# The window program, the batch command and their Access reader child go
# together into a private folder (lib/mdb2fb): a program looks for mdbreader
# beside its own file, and the bin/ entries are symbolic links, which the
# program resolves through /proc/self/exe. Tests, benchmarks and developer
# tools are not installed.
include(GNUInstallDirs)

set(MDB2FB_PRIVATE_DIR lib/mdb2fb)
install(TARGETS Project1 mdb2fb mdbreader RUNTIME DESTINATION ${MDB2FB_PRIVATE_DIR})

set(link_dir ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${link_dir})
foreach(program Project1 mdb2fb)
  file(CREATE_LINK ../${MDB2FB_PRIVATE_DIR}/${program} ${link_dir}/${program} SYMBOLIC)
  install(FILES ${link_dir}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/mdb2fb.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mdb2fb)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mdb2fb)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "mdb2fb maintainers <mdb2fb@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Access to Firebird product-data transfer tool")
set(CPACK_PACKAGE_DESCRIPTION
    "A one-window tool that moves product attribute data from a Microsoft Access file (VT2003.mdb) into a Firebird business database.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
# The linked libraries (Qt, libmdb, the C++ run time) are found by
# dpkg-shlibdeps. The rest is loaded at run time and invisible to it: the
# Firebird client library (dlopen), the embedded engine a database path
# without a host opens in-process, and Qt's window-system plugins (the batch
# command's offscreen platform comes with libqt6gui6, a linked library).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfbclient2, firebird3.0-server-core, qt6-qpa-plugins")
include(CPack)
