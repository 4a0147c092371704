# One static library per subsystem of src/, with the subsystems it may use declared.
# Including a header of any other subsystem fails the build (see CheckLayers.cmake).
#
#   tharvel_subsystem(<name> [USES <subsystem>...] [LIBRARIES <target>...])
set(THARVEL_SUBSYSTEMS platform projects mysql dump web backup ui)

function(tharvel_subsystem name)
  cmake_parse_arguments(arg "" "" "USES;LIBRARIES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(tharvel_${name} STATIC ${sources} ${headers})
  target_include_directories(tharvel_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  set(uses)
  foreach(used ${arg_USES})
    list(APPEND uses tharvel_${used})
  endforeach()
  target_link_libraries(tharvel_${name} PUBLIC ${uses} ${arg_LIBRARIES})

  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/layers.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DSUBSYSTEM=${name} "-DALLOWED=${arg_USES}"
            "-DSUBSYSTEMS=${THARVEL_SUBSYSTEMS}" "-DFILES=${sources};${headers}" -DSTAMP=${stamp}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    DEPENDS ${sources} ${headers} ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking the includes of ${name}"
    VERBATIM)
  add_custom_target(tharvel_${name}_layers DEPENDS ${stamp})
  add_dependencies(tharvel_${name} tharvel_${name}_layers)
endfunction()
