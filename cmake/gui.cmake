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

# varlo-cli plot writes PNG and PDF through the Qt painter, in a module that varlo-cli loads only for
# those pictures: its other commands start without loading Qt. The module is built from the few
# sources it paints with (position-independent, which the core's static library is not), sits beside
# varlo-cli in the build tree and in the library folder once installed.
add_library(varlo-cli-pictures MODULE
  ${CMAKE_SOURCE_DIR}/cli/qt/raster_picture_qt.cpp
  ${CMAKE_SOURCE_DIR}/platform/qt/picture_file.cpp
  ${CMAKE_SOURCE_DIR}/platform/qt/qt_draw_context.cpp
  ${CMAKE_SOURCE_DIR}/platform/qt/icons.cpp
  ${CMAKE_SOURCE_DIR}/platform/core/drawing_context.cpp
  ${CMAKE_SOURCE_DIR}/platform/core/wmf_writer.cpp
  ${CMAKE_SOURCE_DIR}/resources/icons.qrc)
target_include_directories(varlo-cli-pictures PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(varlo-cli-pictures PRIVATE ${VARLO_WARNINGS} -fvisibility=hidden -fvisibility-inlines-hidden)
target_link_libraries(varlo-cli-pictures PRIVATE Qt6::Gui)
target_link_options(varlo-cli-pictures PRIVATE -Wl,--no-undefined)
set_target_properties(varlo-cli-pictures PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:varlo-cli>)
include(GNUInstallDirs)
set(VARLO_PICTURES_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/varlo)
file(RELATIVE_PATH pictures_from_bin ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${VARLO_PICTURES_INSTALL_DIR}/varlo-cli-pictures.so)
target_compile_definitions(varlo-cli PRIVATE VARLO_PICTURES_MODULE="varlo-cli-pictures.so"
                                             VARLO_PICTURES_MODULE_INSTALLED="${pictures_from_bin}")
add_dependencies(varlo-cli varlo-cli-pictures)
install(TARGETS varlo-cli-pictures LIBRARY DESTINATION ${VARLO_PICTURES_INSTALL_DIR})

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
