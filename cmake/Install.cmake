# `cmake --install` lays Sondrel out the way a desktop looks for it: the program in bin/,
# its read-only data in share/sondrel/, the menu entry, the icons in the hicolor theme and
# the list-file type for the file manager.
include(GNUInstallDirs)

install(TARGETS sondrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The window library, loaded by the executable from ../lib/sondrel relative to itself.
install(TARGETS sondrel_window LIBRARY DESTINATION ${SONDREL_DESKTOP_LIBDIR})

install(FILES ${CMAKE_SOURCE_DIR}/data/about.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/sondrel)
# Built or shipped beside the executable when present.
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/help.html
              ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/address.dat
        DESTINATION ${CMAKE_INSTALL_DATADIR}/sondrel OPTIONAL)

install(FILES ${CMAKE_SOURCE_DIR}/data/sondrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/sondrel-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME sondrel.xml)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/sondrel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME sondrel.png)
endforeach()
# Register the new type and menu entry when installing onto a live system (not into a
# staging folder); missing tools are not an error.
install(CODE [[
  if(NOT DEFINED ENV{DESTDIR} OR "$ENV{DESTDIR}" STREQUAL "")
    find_program(update_mime update-mime-database)
    if(update_mime)
      execute_process(COMMAND ${update_mime} "${CMAKE_INSTALL_PREFIX}/share/mime" OUTPUT_QUIET ERROR_QUIET)
    endif()
    find_program(update_desktop update-desktop-database)
    if(update_desktop)
      execute_process(COMMAND ${update_desktop} "${CMAKE_INSTALL_PREFIX}/share/applications" OUTPUT_QUIET ERROR_QUIET)
    endif()
  endif()
]])
