# Runs last in `cmake --install`: writes share/trovix/installed-files, every
# file this install wrote (itself included), one path a line relative to the
# prefix. The updater and the uninstaller touch these files and nothing else.
# TROVIX_INSTALLED_FILES_TMP is set by the install rule that includes this script.
set(listDir "${CMAKE_INSTALL_PREFIX}/${TROVIX_DATADIR}/trovix")
set(paths "${TROVIX_DATADIR}/trovix/installed-files")
foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  file(RELATIVE_PATH path "${CMAKE_INSTALL_PREFIX}" "${file}")
  if(path MATCHES "^\\.\\./")
    message(FATAL_ERROR "installed outside the prefix ${CMAKE_INSTALL_PREFIX}: ${file}")
  endif()
  list(APPEND paths "${path}")
endforeach()
list(REMOVE_DUPLICATES paths)
list(SORT paths)
list(JOIN paths "\n" text)
file(WRITE "${TROVIX_INSTALLED_FILES_TMP}/installed-files" "${text}\n")
file(INSTALL DESTINATION "${listDir}" TYPE FILE FILES "${TROVIX_INSTALLED_FILES_TMP}/installed-files")
