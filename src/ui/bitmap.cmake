# The toolkit-neutral bitmap decoder; included by src/ui/CMakeLists.txt and by the tests.
if(NOT TARGET talvik_bitmap)
  add_library(talvik_bitmap STATIC ${CMAKE_CURRENT_LIST_DIR}/bitmap.cpp ${CMAKE_CURRENT_LIST_DIR}/bitmap.h)
  target_include_directories(talvik_bitmap PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(talvik_bitmap PRIVATE talvik_warnings)
endif()
