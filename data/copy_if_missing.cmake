# Copies each of FILES from SOURCE_DIR into DEST_DIR unless DEST_DIR already holds a file of that
# name: the program writes its configuration back beside itself, and a rebuild must not replace
# what an operator saved there.
#   cmake -DSOURCE_DIR=... -DDEST_DIR=... -DFILES="a;b" -P copy_if_missing.cmake
file(MAKE_DIRECTORY "${DEST_DIR}")
foreach(name IN LISTS FILES)
  if(NOT EXISTS "${DEST_DIR}/${name}")
    file(COPY "${SOURCE_DIR}/${name}" DESTINATION "${DEST_DIR}")
    message(STATUS "Installed start-up ${name} in ${DEST_DIR}")
  endif()
endforeach()
