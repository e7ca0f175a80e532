# The packages, made by CPack (scripts/package): a Debian package from the Linux build and a
# zip from each Windows build, all named by the project's version.
set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VENDOR Tolvane)
set(CPACK_PACKAGE_CONTACT "Tolvane <vantor@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "edit a messenger's custom status messages")
set(CPACK_PACKAGE_HOMEPAGE_URL https://www.example.com/)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # win32 for the 32-bit program, which runs on 32- and 64-bit Windows; win64 for the other.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME vantor-${PROJECT_VERSION}-win32)
  else()
    set(CPACK_PACKAGE_FILE_NAME vantor-${PROJECT_VERSION}-win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The libraries the programs link, as dpkg-shlibdeps finds them; Wine only for --wine.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
         "Vantor edits the five custom status messages that a messenger client keeps\n"
         "for each of its user profiles in the registry: it shows the user who logged\n"
         "in last, lists that user's messages, creates, deletes and edits them, and\n"
         "writes every change at once. On Linux it edits its own registry store, or,\n"
         "with --wine, the live registry of the Wine prefix in which the messenger runs.")
endif()
include(CPack)
