# The desktop program: the Qt library of the windowed parts and the `varlo` executable.
# Sources are picked up per folder, as for the core, so that each subsystem owns its files.

find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport Svg Test)

set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)

file(GLOB VARLO_GUI_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/editor/*.cpp ${CMAKE_SOURCE_DIR}/editor/*.h
  ${CMAKE_SOURCE_DIR}/results/*.cpp ${CMAKE_SOURCE_DIR}/results/*.h
  ${CMAKE_SOURCE_DIR}/tools/*.cpp ${CMAKE_SOURCE_DIR}/tools/*.h
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/app/*.h
  ${CMAKE_SOURCE_DIR}/platform/qt/*.cpp ${CMAKE_SOURCE_DIR}/platform/qt/*.h
  ${CMAKE_SOURCE_DIR}/resources/*.cpp ${CMAKE_SOURCE_DIR}/resources/*.h
  ${CMAKE_SOURCE_DIR}/resources/*.qrc)
list(REMOVE_ITEM VARLO_GUI_SOURCES ${CMAKE_SOURCE_DIR}/app/main.cpp)

# A static library keeps the compiled resources (.qrc) in objects that tests and the program link;
# the initialisers are pulled in with Q_INIT_RESOURCE where a resource is used.
add_library(varlo_gui STATIC ${VARLO_GUI_SOURCES})
target_include_directories(varlo_gui PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(varlo_gui PRIVATE ${VARLO_WARNINGS})
target_compile_definitions(varlo_gui PRIVATE VARLO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(varlo_gui PUBLIC varlo_core Qt6::Widgets Qt6::PrintSupport Qt6::Svg)

# varlo-cli plot writes PNG and PDF through the Qt painter when Qt is there.
target_sources(varlo-cli PRIVATE ${CMAKE_SOURCE_DIR}/cli/qt/raster_picture_qt.cpp)
target_link_libraries(varlo-cli PRIVATE varlo_gui)

add_executable(varlo WIN32 ${CMAKE_SOURCE_DIR}/app/main.cpp)
target_compile_options(varlo PRIVATE ${VARLO_WARNINGS})
target_link_libraries(varlo PRIVATE varlo_gui)

include(GNUInstallDirs)
install(TARGETS varlo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/varlo/help)

# Benchmarks of the canvas and the other windowed parts (they need Qt, so they live apart).
if(VARLO_BUILD_BENCH AND EXISTS ${CMAKE_SOURCE_DIR}/bench/gui/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/bench/gui ${CMAKE_BINARY_DIR}/bench/gui)
endif()
