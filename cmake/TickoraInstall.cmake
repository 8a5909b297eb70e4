# tickora_install_program(TARGET RESOURCES dir RESOURCE_DESTINATION dest
#                         ICON png DESKTOP_ENTRY template)
# Installs the program where the XDG conventions expect it: the program in
# bin/, the files of its resource folder in RESOURCE_DESTINATION, its icon
# (a square PNG) in the hicolor theme as share/icons/hicolor/NxN/apps/TARGET.png,
# and a desktop launcher share/applications/TARGET.desktop made from the
# template at install time, when the prefix is known: @TICKORA_EXEC@ becomes
# the installed program's absolute path, quoted for the Exec key.
function(tickora_install_program target)
  cmake_parse_arguments(ARG "" "RESOURCES;RESOURCE_DESTINATION;ICON;DESKTOP_ENTRY" "" ${ARGN})
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${ARG_RESOURCES}/ DESTINATION ${ARG_RESOURCE_DESTINATION})

  # The theme's size folder comes from the image itself (PNG signature, then
  # the IHDR chunk with width and height as 32-bit big-endian numbers).
  file(READ ${ARG_ICON} header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "tickora_install_program: ${ARG_ICON} is not a PNG image")
  endif()
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT width EQUAL height)
    message(FATAL_ERROR "tickora_install_program: the icon ${ARG_ICON} is ${width}x${height}, not square")
  endif()
  install(FILES ${ARG_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${width}x${width}/apps
          RENAME ${target}.png)

  set(made ${CMAKE_CURRENT_BINARY_DIR}/${target}.desktop)
  install(CODE "
    set(TICKORA_DESKTOP_TEMPLATE \"${ARG_DESKTOP_ENTRY}\")
    set(TICKORA_DESKTOP_OUTPUT \"${made}\")
    set(TICKORA_PROGRAM \"${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\")
    set(TICKORA_APPLICATIONS_DIR \"${CMAKE_INSTALL_DATADIR}/applications\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/desktop_entry.cmake\")")
endfunction()
