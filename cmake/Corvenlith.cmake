# Every library folder globs its own sources, so adding a class needs no edit here.
set(CORVENLITH_LIBS "" CACHE INTERNAL "")

function(corvenlith_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.ui
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR})
  # Forms whose widgets are public members: users of the class see its ui_*.h.
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/include)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set(CORVENLITH_LIBS ${CORVENLITH_LIBS} ${name} CACHE INTERNAL "")
endfunction()

# The libraries built so far, later ones first so static linking resolves.
function(corvenlith_link_all target)
  set(libs ${CORVENLITH_LIBS})
  list(REVERSE libs)
  target_link_libraries(${target} PRIVATE ${libs})
  if(TARGET corv_resources)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:corv_resources>)
  endif()
endfunction()
