# The user's guide: docs/USER_GUIDE.md made into one HTML page with its pictures, in "help" beside
# the host's library, where the help window opens it. cmark (Debian's CommonMark converter) does it
# at build time, without a network; its raw HTML passes through, which is how the topics carry
# their anchors.
find_program(GER_CMARK cmark)
if(NOT GER_CMARK)
  message(FATAL_ERROR "cmark not found: the user's guide is built with it (./ger deps installs it)")
endif()
set(GER_GUIDE_DIR ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/help)
file(GLOB guide_pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/screens/*.png)
set(guide_outputs ${GER_GUIDE_DIR}/index.html)
foreach(picture ${guide_pictures})
  get_filename_component(name ${picture} NAME)
  list(APPEND guide_outputs ${GER_GUIDE_DIR}/screens/${name})
endforeach()
add_custom_command(
  OUTPUT ${guide_outputs}
  COMMAND ${CMAKE_COMMAND} -DCMARK=${GER_CMARK} -DIN=${PROJECT_SOURCE_DIR}/docs/USER_GUIDE.md
          -DOUT=${GER_GUIDE_DIR}/index.html -P ${PROJECT_SOURCE_DIR}/cmake/GuideScript.cmake
  COMMAND ${CMAKE_COMMAND} -E make_directory ${GER_GUIDE_DIR}/screens
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${guide_pictures} ${GER_GUIDE_DIR}/screens/
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/USER_GUIDE.md ${PROJECT_SOURCE_DIR}/cmake/GuideScript.cmake
          ${guide_pictures}
  COMMENT "Building the user's guide"
  VERBATIM)
add_custom_target(ger_guide ALL DEPENDS ${guide_outputs})
