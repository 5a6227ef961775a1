# cmake --install: the program folder under the prefix, runnable as the build's
# bin/ folder is, plus a command on the PATH and, on Linux, a menu entry.
#
#   PREFIX/lib/vantorix/            the program folder (read-only for users):
#     vantorix                      the executable
#     wmaspi.dll                    the engine: a link to the system's ffmpeg
#     Profiles/*.apf                the shipped profiles (and listed-last.txt)
#     Vantorix.html, Vantorix-help/ the manual
#     translations/vantorix_*.qm    the program's translations
#   PREFIX/bin/vantorix             a relative link to the executable
#   PREFIX/share/applications/vantorix.desktop
#   PREFIX/share/icons/hicolor/{256x256,scalable}/apps/vantorix.{png,svg}
#
# The program finds its folder from the executable's real path, so starting it
# through the link works. Preferences and the user's own profiles then live in
# the user's configuration folder.

set(VANTORIX_INSTALL_PROGRAM_DIR "lib/vantorix" CACHE STRING
    "The program folder, relative to the install prefix")

install(TARGETS vantorix RUNTIME DESTINATION ${VANTORIX_INSTALL_PROGRAM_DIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/Profiles/
        DESTINATION ${VANTORIX_INSTALL_PROGRAM_DIR}/Profiles
        FILES_MATCHING PATTERN "*.apf" PATTERN "listed-last.txt")
install(FILES ${PROJECT_SOURCE_DIR}/resources/help/Vantorix.html
        DESTINATION ${VANTORIX_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/help/Vantorix-help
        DESTINATION ${VANTORIX_INSTALL_PROGRAM_DIR})
install(FILES ${VANTORIX_QM_FILES} DESTINATION ${VANTORIX_INSTALL_PROGRAM_DIR}/translations)

if(WIN32)
  # No links on Windows: the engine is a renamed copy of ffmpeg.exe, and the
  # Qt libraries are placed beside the executable by windeployqt (README).
  install(PROGRAMS ${FFMPEG_EXECUTABLE} DESTINATION ${VANTORIX_INSTALL_PROGRAM_DIR} RENAME wmaspi.dll)
  return()
endif()

# The links are made at install time, under the prefix given then
# (cmake --install BUILD --prefix DIR) and below DESTDIR.
install(CODE "
  set(program_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VANTORIX_INSTALL_PROGRAM_DIR}\")
  message(STATUS \"Linking: \${program_dir}/wmaspi.dll -> ${FFMPEG_EXECUTABLE}\")
  file(REMOVE \"\${program_dir}/wmaspi.dll\")
  file(CREATE_LINK \"${FFMPEG_EXECUTABLE}\" \"\${program_dir}/wmaspi.dll\" SYMBOLIC)
  file(RELATIVE_PATH target \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\" \"\${program_dir}/vantorix\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  message(STATUS \"Linking: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/vantorix -> \${target}\")
  file(REMOVE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/vantorix\")
  file(CREATE_LINK \"\${target}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/vantorix\" SYMBOLIC)
")

if(UNIX AND NOT APPLE)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/vantorix.desktop
          DESTINATION share/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/pictures/vantorix.png
          DESTINATION share/icons/hicolor/256x256/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/pictures/vantorix.svg
          DESTINATION share/icons/hicolor/scalable/apps)
endif()
