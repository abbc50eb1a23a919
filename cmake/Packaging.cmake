# Installation (cmake --install) and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS glyphwell-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET glyphwell)
  install(TARGETS glyphwell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/data/glyphwell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/glyphwell.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The manual the help window shows. Not under the documentation folder:
  # minimal Debian systems leave /usr/share/doc out when installing.
  install(FILES ${PROJECT_SOURCE_DIR}/doc/handbuch.html DESTINATION ${CMAKE_INSTALL_DATADIR}/glyphwell)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian ships manual pages compressed.
find_program(GW_GZIP gzip)
if(GW_GZIP)
  set(manPage ${CMAKE_CURRENT_BINARY_DIR}/glyphwell-cli.1.gz)
  add_custom_command(OUTPUT ${manPage}
                     COMMAND ${GW_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/doc/glyphwell-cli.1 > ${manPage}
                     DEPENDS ${PROJECT_SOURCE_DIR}/doc/glyphwell-cli.1 VERBATIM)
  add_custom_target(gw_man_page ALL DEPENDS ${manPage})
else()
  set(manPage ${PROJECT_SOURCE_DIR}/doc/glyphwell-cli.1)
endif()
install(FILES ${manPage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glyphwell)
set(CPACK_PACKAGE_VENDOR "Vostrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Schriftarten in PDF-Dateien ansehen, ersetzen und einbetten")
set(CPACK_PACKAGE_DESCRIPTION
    "PDF Glyphwell zeigt, welche Schriftart welchen Text einer PDF-Seite zeichnet, ersetzt Schriftarten durch installierte TrueType-Schriftarten und schreibt eine neue PDF-Datei. Mit Fensterprogramm (glyphwell) und Kommandozeile (glyphwell-cli).")
set(CPACK_PACKAGE_CONTACT "PDF Glyphwell <glyphwell@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
# The package depends on the Debian packages of the libraries it links;
# the Qt platform plugins are loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET glyphwell)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-dejavu-core, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
