# Run by `cmake --install`: makes the desktop launcher from its template for
# the prefix being installed to and installs it. Takes TICKORA_DESKTOP_TEMPLATE,
# TICKORA_DESKTOP_OUTPUT (where the made file is kept in the build folder),
# TICKORA_PROGRAM and TICKORA_APPLICATIONS_DIR (both relative to the prefix,
# or absolute).
foreach(var TICKORA_PROGRAM TICKORA_APPLICATIONS_DIR)
  if(NOT IS_ABSOLUTE "${${var}}")
    set(${var} "${CMAKE_INSTALL_PREFIX}/${${var}}")
  endif()
endforeach()
# The Exec value that starts the program as one argument: inside double
# quotes '"', '`', '$' and '\' take a backslash and '%' is doubled (no field
# code); then the string escaping of the format doubles every backslash.
set(exec "${TICKORA_PROGRAM}")
string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
string(REPLACE "\\" "\\\\" exec "\"${exec}\"")
foreach(c "\n" "\t" "\r")
  if(TICKORA_PROGRAM MATCHES "${c}")
    message(FATAL_ERROR "the install prefix holds a control character: no desktop launcher can start ${TICKORA_PROGRAM}")
  endif()
endforeach()
set(TICKORA_EXEC "${exec}")
configure_file("${TICKORA_DESKTOP_TEMPLATE}" "${TICKORA_DESKTOP_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${TICKORA_APPLICATIONS_DIR}" TYPE FILE FILES "${TICKORA_DESKTOP_OUTPUT}")
